#include "documents/dcc_results.h"

#include <algorithm>
#include <cmath>

#include "datasheet/datasheet.h"
#include "metrology/decision_rule.h"
#include "metrology/reported_value.h"
#include "metrology/verdict.h"
#include "documents/dsi_units.h"

namespace trimwell::dcc {
namespace {

struct RowUnit {
  std::string text;  // as the datasheet writes it
  DsiUnit dsi;
};

// Each row's unit from the datasheet the sensor was left with (else the one it
// came with), which the record keeps whole; the row's reference standard's unit
// where the image does not name it.
std::vector<RowUnit> rowUnits(const CalibrationRecord& r) {
  std::vector<RowUnit> units(r.rows.size());
  Datasheet sheet;
  const std::vector<std::uint8_t>& image = r.asLeftImage.empty() ? r.asFoundImage : r.asLeftImage;
  const bool decoded = !image.empty() && sheet.decode(image.data(), image.size()) && sheet.status == kDatasheetOk;
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    const Measurement* m = decoded ? sheet.findMeasurement(r.rows[i].measurementId) : nullptr;
    if (m != nullptr) units[i].text = toUtf8(m->secondaryText.text);
    for (const RecordStandard& s : r.standards) {
      if (m == nullptr && s.row == static_cast<int>(i)) units[i].text = s.standard.unit;
    }
    units[i].dsi = dsiUnit(units[i].text);
  }
  return units;
}

xmlNodePtr metaData(Document& d, xmlNodePtr quantity) {
  xmlNodePtr list = xmlGetLastChild(quantity);
  if (list == nullptr || xmlStrcmp(list->name, reinterpret_cast<const xmlChar*>("measurementMetaData")) != 0) {
    list = d.node(quantity, "measurementMetaData");
  }
  return d.node(list, "metaData");
}

// A quantity of a result. A unit with no D-SI form is stated as "\one" and named
// in the quantity's name ("Error (pH)") and, for programs, as its non-SI unit.
xmlNodePtr quantity(Document& d, xmlNodePtr data, const std::string& name, const char* refType, double value,
                    const RowUnit& unit, const Expanded* expanded, const std::string& owner,
                    const std::string* shown = nullptr) {
  xmlNodePtr q = d.node(data, "quantity");
  d.attribute(q, "refType", refType);
  const bool keepText = !unit.dsi.machineReadable;
  d.content(q, "name", keepText ? name + " (" + unit.text + ")" : name, !keepText);
  d.real(q, value, unit.dsi.unit, expanded, owner + "'s " + name, shown);
  if (keepText) d.text(metaData(d, q), "nonSIUnit", unit.text);
  return q;
}

void verdict(Document& d, xmlNodePtr error, const metrology::PointResult& p) {
  if (conformityName(p.verdict) == nullptr) return;  // no tolerance: nothing is stated of it
  xmlNodePtr meta = metaData(d, error);
  d.attribute(meta, "refId", kDecisionRuleId);
  d.attribute(meta, "refType", "basic_conformity");
  const char* conformity = conformityName(p.verdict);
  const std::string declaration =
      conformity == nullptr ? "Verdict: not stated (no tolerance)"
                            : std::string("Verdict: ") + metrology::verdictName(p.verdict) + ", by the decision rule \"" +
                                  metrology::ruleTitle(p.rule) + "\" against the tolerance limit";
  d.content(meta, "declaration", declaration, true);
  if (conformity != nullptr) d.text(meta, "conformity", conformity);
}

void pointResult(Document& d, xmlNodePtr results, const RecordResult& r, int number, const RowUnit& unit,
                 const std::string& rowName) {
  const metrology::PointResult& p = r.result;
  const std::string name = std::string(r.asLeft ? "As left " : "As found ") + std::to_string(number);
  xmlNodePtr result = d.node(results, "result");
  d.attribute(result, "refType", r.asLeft ? "trimwell_asLeft" : "trimwell_asFound");
  d.content(result, "name", name, true);
  xmlNodePtr data = d.node(result, "data");
  const std::string owner = rowName + ", " + name;
  // The numbers as the printed certificate states them.
  const metrology::ReportedPoint shown = metrology::reportPoint(p);
  quantity(d, data, "Reference value", "basic_referenceValue", p.referenceValue, unit, nullptr, owner,
           &shown.referenceValue);
  quantity(d, data, "Reading", "basic_measuredValue", p.reading, unit, nullptr, owner, &shown.reading);
  const Expanded u{p.uncertainty.expanded(), p.uncertainty.coverageFactor, shown.expanded, shown.coverageFactor};
  xmlNodePtr error = quantity(d, data, "Error", "basic_measurementError", p.error(), unit, &u, owner, &shown.error);
  verdict(d, error, p);
  if (p.limit) {
    // The error's limits, below and above zero, as the vocabulary names them.
    const bool zero = shown.limit.find_first_not_of("0.") == std::string::npos;
    const std::string lower = zero ? shown.limit : "-" + shown.limit;
    quantity(d, data, "Lower tolerance limit", "basic_toleranceLimitLower", -*p.limit, unit, nullptr, owner, &lower);
    quantity(d, data, "Upper tolerance limit", "basic_toleranceLimitUpper", *p.limit, unit, nullptr, owner,
             &shown.limit);
  }
}

void adjustment(Document& d, xmlNodePtr results, const RecordRow& row, const RowUnit& unit, const std::string& rowName) {
  xmlNodePtr result = d.node(results, "result");
  d.attribute(result, "refType", "trimwell_adjustment");
  d.content(result, "name", "Adjustment", true);
  d.content(result, "description",
            "The two points the new calibration was made from: the value the sensor is to read at each, and its "
            "raw value there (in the sensor's raw units)",
            true);
  xmlNodePtr data = d.node(result, "data");
  const RowUnit raw{"raw", {"\\one", true}};
  const std::string owner = rowName + "'s adjustment";
  quantity(d, data, "Point 1 value", "trimwell_point1Data", row.point1Data, unit, nullptr, owner);
  quantity(d, data, "Point 1 raw value", "trimwell_point1Raw", row.point1Raw, raw, nullptr, owner);
  quantity(d, data, "Point 2 value", "trimwell_point2Data", row.point2Data, unit, nullptr, owner);
  quantity(d, data, "Point 2 raw value", "trimwell_point2Raw", row.point2Raw, raw, nullptr, owner);
}

// The lab's procedure by its identifier and version, where the record names it.
void method(Document& d, xmlNodePtr result, const CalibrationRecord& r) {
  xmlNodePtr used = d.node(d.node(result, "usedMethods"), "usedMethod");
  d.attribute(used, "refType", "trimwell_twoPointCalibration");
  d.content(used, "name",
            r.procedureId.empty() ? "Two-point calibration" : r.procedureId + ", version " + r.procedureVersion,
            r.procedureId.empty());
  d.content(used, "description",
            "The sensor's readings are compared with reference values before the adjustment (as found); the sensor "
            "is adjusted at two points and checked again (as left). Error E = R - Y, reading R, reference value Y; "
            "U is the expanded uncertainty of E.",
            true);
}

// Each instrument the row's reference values were read from, with every reading
// used: the reading, and when it was read.
void instruments(Document& d, xmlNodePtr& list, xmlNodePtr result, const CalibrationRecord& r, std::size_t row,
                 const RowUnit& unit) {
  std::vector<std::string> named;
  for (const RecordResult& x : r.results) {
    if (x.row != static_cast<int>(row) || x.referenceInstrument.empty()) continue;
    if (std::find(named.begin(), named.end(), x.referenceInstrument) == named.end()) {
      named.push_back(x.referenceInstrument);
    }
  }
  for (const std::string& instrument : named) {
    if (list == nullptr) list = d.node(result, "measuringEquipments");
    xmlNodePtr item = d.node(list, "measuringEquipment");
    d.attribute(item, "refType", "trimwell_referenceInstrument");
    d.content(item, "name", instrument, false);
    d.content(item, "description",
              "Reference instrument read over SCPI: each reading below was taken as a reference value when its "
              "point or check was taken (times in UTC)",
              true);
    xmlNodePtr quantities = d.node(item, "measuringEquipmentQuantities");
    int found = 0, left = 0;
    for (const RecordResult& x : r.results) {
      if (x.row != static_cast<int>(row)) continue;
      const std::string name =
          std::string(x.asLeft ? "As left " : "As found ") + std::to_string(x.asLeft ? ++left : ++found);
      if (x.referenceInstrument != instrument) continue;
      xmlNodePtr q = d.node(quantities, "measuringEquipmentQuantity");
      d.attribute(q, "refType", "basic_referenceValue");
      d.content(q, "name", name + ": reading", true);
      d.content(q, "description", "Read at " + x.referenceTime, true);
      d.real(q, x.result.referenceValue, unit.dsi.unit, nullptr, "Row " + std::to_string(row + 1) + "'s " + name, nullptr);
    }
  }
}

void equipment(Document& d, xmlNodePtr result, const CalibrationRecord& r, std::size_t row, const RowUnit& unit) {
  xmlNodePtr list = nullptr;
  for (const RecordStandard& s : r.standards) {
    if (s.row != static_cast<int>(row)) continue;
    if (list == nullptr) list = d.node(result, "measuringEquipments");
    const metrology::StandardEntry& e = s.standard;
    xmlNodePtr item = d.node(list, "measuringEquipment");
    d.attribute(item, "refType", "basic_standardUsed");
    d.content(item, "name", e.name, false);
    d.content(item, "description",
              "Certificate " + e.certificateNumber + " by " + e.issuedBy + ", calibrated on " + e.calibratedOn +
                  ", due on " + e.dueOn + "; U = " + exactNumber(e.uncertainty.a) + " + " +
                  exactNumber(e.uncertainty.b) + " * |value| " + e.unit + " (k = " +
                  exactNumber(e.uncertainty.coverageFactor) + ")",
              true);
    xmlNodePtr ids = nullptr;
    for (const auto& [value, label] : {std::pair{&e.identification, "Identification"},
                                       std::pair{&e.certificateNumber, "Certificate number"}}) {
      if (value->empty()) continue;
      if (ids == nullptr) ids = d.node(item, "identifications");
      xmlNodePtr id = d.node(ids, "identification");
      d.text(id, "issuer", "other");
      d.text(id, "value", *value);
      d.content(id, "name", label, true);
    }
  }
  instruments(d, list, result, r, row, unit);
}

void conditions(Document& d, xmlNodePtr result, const CalibrationRecord& r) {
  if (std::isnan(r.ambientTemperature) && std::isnan(r.relativeHumidity)) return;
  xmlNodePtr list = d.node(result, "influenceConditions");
  const struct {
    double value;
    const char* name;
    const char* refType;
    const char* unit;
  } given[] = {{r.ambientTemperature, "Ambient temperature", "basic_temperature", "\\degreecelsius"},
               {r.relativeHumidity, "Relative humidity", "basic_humidityRelative", "\\percent"}};
  for (const auto& c : given) {
    if (std::isnan(c.value)) continue;
    xmlNodePtr condition = d.node(list, "influenceCondition");
    d.attribute(condition, "refType", c.refType);
    d.content(condition, "name", c.name, true);
    xmlNodePtr q = d.node(d.node(condition, "data"), "quantity");
    d.real(q, c.value, c.unit, nullptr, c.name);
  }
}

void addRow(Document& d, xmlNodePtr list, const CalibrationRecord& r, std::size_t i, const RowUnit& unit) {
  const RecordRow& row = r.rows[i];
  const std::string rowName = "Row " + std::to_string(i + 1);
  xmlNodePtr result = d.node(list, "measurementResult");
  d.content(result, "name", rowName + ": " + std::to_string(row.measurementId) + " " + row.name, false);
  const std::vector<int> unchecked = uncheckedRows(r);
  if (row.leftOut) {
    d.content(result, "description", "Left out: this row's calibration was not written", true);
  } else if (std::find(unchecked.begin(), unchecked.end(), static_cast<int>(i)) != unchecked.end()) {
    d.content(result, "description",
              "Not checked after its adjustment: the results are those as found, with the calibration the item "
              "came with",
              true);
  }
  method(d, result, r);
  equipment(d, result, r, i, unit);
  conditions(d, result, r);
  xmlNodePtr results = d.node(result, "results");
  if (!row.leftOut) adjustment(d, results, row, unit, rowName);
  int found = 0, left = 0;
  for (const RecordResult& x : r.results) {
    if (x.row == static_cast<int>(i)) pointResult(d, results, x, x.asLeft ? ++left : ++found, unit, rowName);
  }
}

}  // namespace

const char* conformityName(metrology::Verdict verdict) {
  switch (verdict) {
    case metrology::Verdict::kPass: return "pass";
    case metrology::Verdict::kConditionalPass: return "conditionalPass";
    case metrology::Verdict::kConditionalFail: return "conditionalFail";
    case metrology::Verdict::kFail: return "fail";
    case metrology::Verdict::kNotStated: break;
  }
  return nullptr;
}

bool certifiedRow(const CalibrationRecord& record, std::size_t row) {
  if (!record.rows[row].leftOut) return true;
  for (const RecordResult& x : record.results) {
    if (x.row == static_cast<int>(row)) return true;
  }
  return false;
}

void addMeasurementResults(Document& d, const CalibrationRecord& record) {
  xmlNodePtr list = d.node(d.root(), "measurementResults");
  const std::vector<RowUnit> units = rowUnits(record);
  for (std::size_t i = 0; i < record.rows.size(); ++i) {
    if (!certifiedRow(record, i)) continue;
    if (!units[i].dsi.known) {
      d.refuse("The DCC cannot state row " + std::to_string(i + 1) + "'s unit \"" + units[i].text +
               "\": it is none the station writes in D-SI, and a DCC would give it as unit one");
      return;
    }
    addRow(d, list, record, i, units[i]);
  }
}

}  // namespace trimwell::dcc
