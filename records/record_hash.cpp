#include "records/record_hash.h"

#include <algorithm>
#include <cmath>

#include "signing/canonical_form.h"
#include "signing/sha256.h"

namespace trimwell {
namespace {

using signing::CanonicalWriter;

void writeRow(CanonicalWriter& w, const RecordRow& row) {
  w.integer(row.measurementId);
  w.text(row.name);
  for (double v : {row.point1Raw, row.point1Data, row.point2Raw, row.point2Data}) w.number(v);
  for (double c : row.constants) w.number(c);
  w.integer(row.leftOut ? 1 : 0);
  w.integer(row.extra ? 1 : 0);
}

void writeStandard(CanonicalWriter& w, const RecordStandard& s) {
  const metrology::StandardEntry& e = s.standard;
  w.integer(s.row);
  for (const std::string* t : {&e.name, &e.identification, &e.certificateNumber, &e.issuedBy, &e.calibratedOn,
                               &e.dueOn, &e.quantity, &e.unit}) {
    w.text(*t);
  }
  w.number(e.uncertainty.a);
  w.number(e.uncertainty.b);
  w.number(e.uncertainty.coverageFactor);
}

void writeResult(CanonicalWriter& w, const RecordResult& r) {
  const metrology::PointResult& p = r.result;
  w.integer(r.row);
  w.integer(r.asLeft ? 1 : 0);
  w.number(p.referenceValue);
  w.number(p.reading);
  w.count(p.uncertainty.contributions.size());
  for (const metrology::Contribution& c : p.uncertainty.contributions) {
    w.text(c.source);
    w.number(c.value);
    w.number(c.divisor);
    w.number(c.sensitivity);
  }
  w.count(p.uncertainty.correlations.size());
  for (const metrology::Correlation& c : p.uncertainty.correlations) {
    w.integer(static_cast<long long>(c.first));
    w.integer(static_cast<long long>(c.second));
    w.number(c.coefficient);
  }
  w.number(p.uncertainty.coverageFactor);
  w.integer(p.limit.has_value() ? 1 : 0);
  w.number(p.limit.value_or(0.0));
  w.integer(static_cast<long long>(p.rule));
  w.integer(static_cast<long long>(p.verdict));
}

// Whether the record states degrees of freedom: of a contribution, or of a
// standard's U. Records from before them are written as they were.
bool statesDegrees(const CalibrationRecord& r) {
  for (const RecordStandard& s : r.standards) {
    if (std::isfinite(s.standard.uncertainty.degreesOfFreedom)) return true;
  }
  for (const RecordResult& result : r.results) {
    for (const metrology::Contribution& c : result.result.uncertainty.contributions) {
      if (std::isfinite(c.degreesOfFreedom)) return true;
    }
  }
  return false;
}

// Whether the record states what its certificate's §7.8.2 items came from: the
// customer's address, the place, the procedure.
bool statesMethodAndPlace(const CalibrationRecord& r) {
  for (const std::string* t :
       {&r.customerAddress, &r.customerEmail, &r.calibrationPlace, &r.procedureId, &r.procedureVersion}) {
    if (!t->empty()) return true;
  }
  return false;
}

// Whether the record states its rows' tolerances.
bool statesTolerances(const CalibrationRecord& r) {
  return std::any_of(r.rows.begin(), r.rows.end(), [](const RecordRow& row) { return !row.tolerance.empty(); });
}

// Whether a result's reference value was read from an instrument.
bool statesReadings(const CalibrationRecord& r) {
  for (const RecordResult& result : r.results) {
    if (!result.referenceInstrument.empty() || !result.referenceTime.empty()) return true;
  }
  return false;
}

}  // namespace

std::vector<std::uint8_t> canonicalRecord(const CalibrationRecord& r) {
  const bool amendment = !r.amendsUuid.empty() || r.revision != 0 || !r.amendmentReason.empty();
  const bool tolerances = statesTolerances(r);
  const bool readings = tolerances || statesReadings(r);
  const bool method = readings || statesMethodAndPlace(r);
  const bool degrees = method || statesDegrees(r);
  CanonicalWriter w("trimwell record", tolerances ? 6 : readings ? 5 : method ? 4 : degrees ? 3 : amendment ? 2 : 1);
  w.text(r.uuid);
  w.text(kindName(r.kind));
  for (const std::string* t : {&r.utcTime, &r.operatorName, &r.host, &r.stationVersion, &r.interfaceKind}) w.text(*t);
  w.integer(r.interfaceProduct);
  w.text(r.firmwareVersion);
  w.integer(r.sensorId);
  for (const std::string* t : {&r.datasheetName, &r.datasheetVersion, &r.options}) w.text(*t);
  w.integer(r.success ? 1 : 0);
  w.text(r.result);
  for (const auto* image : {&r.asFoundImage, &r.asFoundCalibration, &r.asLeftImage, &r.asLeftCalibration}) {
    w.bytes(*image);
  }
  for (const std::string* t : {&r.restoredFromUuid, &r.unit, &r.customer}) w.text(*t);
  w.number(r.ambientTemperature);
  w.number(r.relativeHumidity);
  w.text(r.decisionRule);
  w.text(r.restoreConfirmation);
  w.integer(r.operatorUid);
  w.text(r.operatorFullName);
  w.integer(r.clockSynchronised);
  w.integer(r.clockMaxErrorUs);
  // Children in their places in the record, which every store keeps.
  w.count(r.rows.size());
  for (const RecordRow& row : r.rows) writeRow(w, row);
  w.count(r.standards.size());
  for (const RecordStandard& s : r.standards) writeStandard(w, s);
  w.count(r.results.size());
  for (const RecordResult& result : r.results) writeResult(w, result);
  if (amendment || degrees) {
    w.text(r.amendsUuid);
    w.integer(r.revision);
    w.text(r.amendmentReason);
  }
  if (degrees) {
    // Each standard's ν, then each result's contributions' ν (infinite where not stated).
    w.count(r.standards.size());
    for (const RecordStandard& s : r.standards) w.number(s.standard.uncertainty.degreesOfFreedom);
    w.count(r.results.size());
    for (const RecordResult& result : r.results) {
      w.count(result.result.uncertainty.contributions.size());
      for (const metrology::Contribution& c : result.result.uncertainty.contributions) w.number(c.degreesOfFreedom);
    }
  }
  if (method) {
    for (const std::string* t :
         {&r.customerAddress, &r.customerEmail, &r.calibrationPlace, &r.procedureId, &r.procedureVersion}) {
      w.text(*t);
    }
  }
  if (readings) {
    w.count(r.results.size());
    for (const RecordResult& result : r.results) {
      w.text(result.referenceInstrument);
      w.text(result.referenceTime);
    }
  }
  if (tolerances) {
    w.count(r.rows.size());
    for (const RecordRow& row : r.rows) w.text(row.tolerance);
  }
  return w.written();
}

std::string recordHash(const CalibrationRecord& record) { return signing::sha256Hex(canonicalRecord(record)); }

}  // namespace trimwell
