#include "documents/record_report.h"

#include <cmath>

#include "platform/format_text.h"

namespace trimwell {

bool allVersions(RecordStore& store, const CalibrationRecord& record, std::vector<CalibrationRecord>& out,
                 std::string& problem) {
  out = {record};
  // A chain of amendments that loops back (a file made by hand) is cut at its length.
  for (std::size_t guard = 0; !out.front().amendsUuid.empty() && guard < 1000; ++guard) {
    CalibrationRecord earlier;
    if (!store.load(out.front().amendsUuid, earlier)) {
      problem = store.problem();
      return false;
    }
    out.insert(out.begin(), std::move(earlier));
  }
  std::string later;
  for (std::size_t guard = 0; guard < 1000; ++guard) {
    if (!store.amendedBy(out.back().uuid, later)) {
      problem = store.problem();
      return false;
    }
    if (later.empty()) break;
    CalibrationRecord next;
    if (!store.load(later, next)) {
      problem = store.problem();
      return false;
    }
    out.push_back(std::move(next));
  }
  return true;
}

bool everythingKept(RecordStore& store, const CalibrationRecord& record, std::vector<VersionKept>& out,
                    std::string& problem) {
  std::vector<CalibrationRecord> versions;
  if (!allVersions(store, record, versions, problem)) return false;
  out.clear();
  for (CalibrationRecord& v : versions) {
    VersionKept& kept = out.emplace_back();
    if (!store.recordTrail(v.uuid, kept.trail)) {
      problem = store.problem();
      return false;
    }
    if (!store.checkRecord(v.uuid, kept.broken) && kept.broken.empty()) kept.broken = store.problem();
    kept.record = std::move(v);
  }
  return true;
}

CertificateDocument recordReport(const std::vector<VersionKept>& versions, const std::string& laboratory,
                                 const std::string& utcNow) {
  CertificateDocument d;
  d.title = "Record report";
  d.numberLabel = "Record";
  d.number = versions.empty() ? std::string() : versions.front().record.uuid;
  d.laboratory = laboratory;
  d.sections.push_back({"About this report",
                        {{"Made (UTC)", utcNow},
                         {"Versions", std::to_string(versions.size())}},
                        {},
                        {"Everything kept of the record: each version, its signatures and the audit entries about "
                         "it. This report certifies nothing."}});
  for (std::size_t i = 0; i < versions.size(); ++i) {
    const VersionKept& v = versions[i];
    const RecordText text = recordText(v.record);
    CertificateSection s;
    s.heading = "Version " + std::to_string(i + 1) + " of " + std::to_string(versions.size()) + ": " + text.title;
    // A version its trail no longer holds says so before anything it states.
    if (!v.broken.empty()) {
      s.facts.emplace_back("NOT VOUCHED FOR", "this version does not match its audit trail (" + v.broken +
                                                  "); what follows, signatures included, is as the store holds it now");
    }
    s.facts.insert(s.facts.end(), text.facts.begin(), text.facts.end());
    s.facts.emplace_back("Matches its audit trail", v.broken.empty() ? "yes" : "NO: " + v.broken);
    const CalibrationRecord& r = v.record;
    if (!std::isnan(r.ambientTemperature)) s.facts.emplace_back("Ambient temperature", exactNumber(r.ambientTemperature));
    if (!std::isnan(r.relativeHumidity)) s.facts.emplace_back("Relative humidity", exactNumber(r.relativeHumidity));
    if (!r.decisionRule.empty()) s.facts.emplace_back("Decision rule", r.decisionRule);
    s.tables.push_back({"Rows", text.rowHeadings, text.rows});
    CertificateTable standards{"Reference standards", {"Row", "Standard", "Identification", "Certificate"}, {}};
    for (const RecordStandard& st : r.standards) {
      standards.rows.push_back({std::to_string(st.row + 1), st.standard.name, st.standard.identification,
                                st.standard.certificateNumber});
    }
    if (!standards.rows.empty()) s.tables.push_back(std::move(standards));
    CertificateTable results{
        "Results", {"Row", "As", "Reference", "Reading", "Error", "U", "k", "Limit", "Verdict"}, {}};
    for (const RecordResult& result : r.results) {
      const metrology::PointResult& p = result.result;
      results.rows.push_back({std::to_string(result.row + 1), result.asLeft ? "left" : "found",
                              exactNumber(p.referenceValue), exactNumber(p.reading), exactNumber(p.error()),
                              exactNumber(p.uncertainty.expanded()), exactNumber(p.uncertainty.coverageFactor),
                              p.limit ? exactNumber(*p.limit) : std::string("-"), metrology::verdictName(p.verdict)});
    }
    if (!results.rows.empty()) s.tables.push_back(std::move(results));
    CertificateTable trail{"Audit trail", {"No.", "Bench time (UTC)", "By", "Event", "Details"}, {}};
    for (const signing::AuditEntry& e : v.trail) {
      trail.rows.push_back({std::to_string(e.sequence), e.benchTime, e.actor, e.event, e.details});
    }
    s.tables.push_back(std::move(trail));
    s.paragraphs.push_back(text.result);
    d.sections.push_back(std::move(s));
  }
  d.end = "End of report";
  return d;
}

}  // namespace trimwell
