#include "documents/dcc_writer.h"

#include "records/record_hash.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "metrology/decision_rule.h"
#include "metrology/standard_entry.h"
#include "metrology/verdict.h"
#include "documents/dcc_results.h"
#include "documents/dcc_seal.h"
#include "documents/dcc_xml.h"

namespace trimwell {
namespace {

using dcc::Document;

constexpr const char* kNotGiven = "not given";

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    if (line.find_first_not_of(" \t\r") != std::string::npos) out.push_back(line);
    start = end + 1;
  }
  return out;
}

// A contact with its address in the schema's fields, read from its lines: the first
// line is the street; a line that begins with a code holding a digit ("20457
// Hamburg", "D-20457 Hamburg") gives the post code and the city; a last line of two
// capitals is the country (the lab's own comes from its setting); every other line
// is further. The schema wants an e-mail address: a contact without one stops the
// DCC, naming the setting it comes from, rather than an empty element.
void contact(Document& d, xmlNodePtr parent, const char* element, const std::string& name, const std::string& email,
             const std::string& address, const std::string& countryCode, const char* emailField) {
  if (email.find_first_not_of(" \t") == std::string::npos) {
    d.refuse(std::string("The DCC needs ") + emailField + ": the schema's contact requires an e-mail address");
    return;
  }
  xmlNodePtr c = d.node(parent, element);
  d.content(c, "name", name.empty() ? kNotGiven : name, name.empty());
  d.text(c, "eMail", email);
  xmlNodePtr location = d.node(c, "location");
  std::vector<std::string> given = lines(address);
  std::string country = countryCode;
  if (!given.empty() && isCountryCode(given.back())) {
    if (country.empty()) country = given.back();
    given.pop_back();
  }
  bool street = false, city = false;
  for (const std::string& line : given) {
    const std::size_t space = line.find(' ');
    const bool coded = space != std::string::npos && line.find_first_of("0123456789") < space;
    if (coded && !city) {
      d.text(location, "postCode", line.substr(0, space));
      d.text(location, "city", line.substr(line.find_first_not_of(' ', space)));
      city = true;
    } else if (!street && !city) {
      d.text(location, "street", line);
      street = true;
    } else {
      d.content(location, "further", line, false);
    }
  }
  if (given.empty() && country.empty()) d.content(location, "further", kNotGiven, true);
  if (!country.empty()) d.text(location, "countryCode", country);
}

void coreData(Document& d, xmlNodePtr admin, const CalibrationRecord& r, const Laboratory& lab,
              const std::string& identifier, const std::string& date) {
  xmlNodePtr core = d.node(admin, "coreData");
  d.text(core, "countryCodeISO3166_1", lab.country);
  d.text(core, "usedLangCodeISO639_1", "en");
  d.text(core, "mandatoryLangCodeISO639_1", "en");
  d.text(core, "uniqueIdentifier", identifier);
  xmlNodePtr ids = nullptr;
  const auto identification = [&](const std::string& value, const char* name) {
    if (ids == nullptr) ids = d.node(core, "identifications");
    xmlNodePtr id = d.node(ids, "identification");
    d.text(id, "issuer", "calibrationLaboratory");
    d.text(id, "value", value);
    d.content(id, "name", name, true);
  };
  if (identifier != r.uuid && !r.uuid.empty()) identification(r.uuid, "Record");
  // The whole head, for a reader who checks the lab's audit trail against it.
  if (!r.chainHead.empty()) identification(r.chainHead, "Audit trail head at issue");
  d.text(core, "beginPerformanceDate", date);
  d.text(core, "endPerformanceDate", date);
  d.text(core, "performanceLocation", r.calibrationPlace.empty() ? "laboratory" : "customer");
  // An amendment's DCC names the certificate it replaces, with the content hash
  // of the record version that one was issued of.
  if (!r.replacesNumber.empty()) {
    xmlNodePtr previous = d.node(core, "previousReport");
    d.content(previous, "referral",
              "Certificate " + r.replacesNumber + ", replaced by this revision " + std::to_string(r.revision) + ": " +
                  r.amendmentReason,
              true);
    d.text(previous, "referralID", r.replacesNumber);
    d.text(previous, "procedure", "SHA-256 of the replaced record version's canonical content");
    d.text(previous, "value", r.replacesHash);
  }
}

void software(Document& d, xmlNodePtr admin, const CalibrationRecord& r) {
  xmlNodePtr sw = d.node(d.node(admin, "dccSoftware"), "software");
  d.content(sw, "name", "Trimwell", true);
  const std::string prefix = "Trimwell ";
  d.text(sw, "release", r.stationVersion.rfind(prefix, 0) == 0 ? r.stationVersion.substr(prefix.size()) : r.stationVersion);
  d.text(sw, "type", "application");
}

void item(Document& d, xmlNodePtr admin, const CalibrationRecord& r) {
  const std::string model = "Sensor " + std::to_string(r.sensorId);
  xmlNodePtr it = d.node(d.node(admin, "items"), "item");
  d.content(it, "name", r.datasheetName.empty() ? model : r.datasheetName, false);
  d.content(it, "description", "Datasheet \"" + r.datasheetName + "\", version " + r.datasheetVersion, true);
  d.content(d.node(it, "manufacturer"), "name", kNotGiven, true);
  d.text(it, "model", model);
  xmlNodePtr ids = d.node(it, "identifications");
  xmlNodePtr sensor = d.node(ids, "identification");
  d.text(sensor, "issuer", "manufacturer");
  d.text(sensor, "value", std::to_string(r.sensorId));
  d.content(sensor, "name", "Sensor ID", true);
  if (r.unit.empty()) return;
  xmlNodePtr unit = d.node(ids, "identification");
  d.text(unit, "issuer", "other");
  d.text(unit, "value", r.unit);
  d.content(unit, "name", "Unit (serial number or asset tag)", true);
}

xmlNodePtr statement(Document& d, xmlNodePtr list, const char* refType, const std::string& declaration) {
  xmlNodePtr s = d.node(list, "statement");
  d.attribute(s, "refType", refType);
  d.content(s, "declaration", declaration, true);
  return s;
}

// The rows a statement of conformity of the item as left cannot cover: adjusted,
// and not checked since (certified only where the lab allows it).
std::string notCovered(const CalibrationRecord& r) {
  std::string rows;
  for (int row : uncheckedRows(r)) rows += (rows.empty() ? "" : ", ") + std::to_string(row + 1);
  return rows.empty() ? std::string() : " It does not cover row(s) " + rows + ", adjusted and not checked after it.";
}

// The statement of conformity covers the state the item leaves in: the worst of
// the as-left results' verdicts. Each result states its own beside it.
void conformity(Document& d, xmlNodePtr list, const CalibrationRecord& r) {
  std::vector<metrology::Verdict> left;
  for (const RecordResult& x : r.results) {
    if (x.asLeft) left.push_back(x.result.verdict);
  }
  const metrology::Verdict worst = metrology::worstVerdict(left);
  metrology::DecisionRule rule{};
  const bool named = metrology::parseDecisionRule(r.decisionRule, rule);
  const char* status = dcc::conformityName(worst);
  if (status == nullptr) {
    xmlNodePtr none = statement(d, list, "basic_conformity",
                                left.empty() ? "No statement of conformity: the item was not checked after its adjustment"
                                             : "No statement of conformity: no tolerance was stated");
    // Each result's own verdict points here, to the rule it was decided by.
    d.attribute(none, "id", dcc::kDecisionRuleId);
    return;
  }
  xmlNodePtr s = d.node(list, "statement");
  d.attribute(s, "id", dcc::kDecisionRuleId);
  d.attribute(s, "refType", "basic_conformity");
  d.text(s, "norm", "ILAC-G8:09/2019");
  d.content(s, "declaration",
            std::string("Conformity of the item as left with the tolerance of each row, decided by the rule \"") +
                (named ? metrology::ruleTitle(rule) : kNotGiven) + "\": " + metrology::verdictName(worst) +
                ". It covers the " + std::to_string(left.size()) +
                " result(s) as left; the results as found are stated for information." + notCovered(r),
            true);
  d.text(s, "conformity", status);
}

void statements(Document& d, xmlNodePtr admin, const CalibrationRecord& r, const Laboratory& lab,
                const std::string& issueDate) {
  xmlNodePtr list = d.node(admin, "statements");
  // The schema has no field for the day a certificate is issued: a statement with its date.
  xmlNodePtr issued = d.node(list, "statement");
  d.attribute(issued, "refType", "trimwell_dateOfIssue");
  d.content(issued, "declaration", "Date of issue of this certificate", true);
  d.text(issued, "date", issueDate);
  if (!r.calibrationPlace.empty()) {
    xmlNodePtr place = d.node(list, "statement");
    d.attribute(place, "refType", "trimwell_calibrationPlace");
    d.content(place, "declaration", "Calibrated on site, at the customer's: " + r.calibrationPlace, true);
    d.content(d.node(place, "location"), "further", r.calibrationPlace, false);
  }
  if (!approvalProblem(r).empty()) statement(d, list, "trimwell_draft", std::string(kDraftMark) + ": " + approvalProblem(r));
  // The vocabulary has no term for it: it is the station's own, by the clause it meets.
  xmlNodePtr item = d.node(list, "statement");
  d.attribute(item, "refType", "trimwell_resultsRelateToTheItem");
  d.text(item, "norm", "ISO/IEC 17025:2017");
  d.text(item, "reference", "7.8.2.1 l)");
  d.content(item, "declaration", "The results relate only to the item calibrated.", true);
  conformity(d, list, r);
  if (!r.standards.empty()) {
    xmlNodePtr s = d.node(list, "statement");
    d.attribute(s, "refType", "trimwell_traceability");
    d.text(s, "traceable", "true");
    d.content(s, "declaration", "The results are traceable through the reference standards named with each row.",
              true);
  }
  if (!lab.accreditationBody.empty() || !lab.accreditationNumber.empty()) {
    statement(d, list, "trimwell_accreditation",
              "Accredited by " + (lab.accreditationBody.empty() ? std::string(kNotGiven) : lab.accreditationBody) +
                  (lab.accreditationNumber.empty() ? "" : " under " + lab.accreditationNumber));
  }
}

const char* roleOf(signing::Meaning meaning) {
  switch (meaning) {
    case signing::Meaning::Reviewed: return "reviewer";
    case signing::Meaning::Approved: return "approver";
    case signing::Meaning::Amended: return "amender";
    default: return "performer";
  }
}

// The signers of the record as it stands, each with what they signed and when;
// the approver is the main signer. A record nobody signed names its performer as
// the station knew them.
void responsiblePersons(Document& d, xmlNodePtr admin, const CalibrationRecord& r, const Laboratory& lab) {
  xmlNodePtr persons = d.node(admin, "respPersons");
  const std::string hash = recordHash(r);
  bool named = false;
  for (const signing::Signature& s : r.signatures) {
    if (s.recordHash != hash) continue;  // another version's: this one is a draft
    named = true;
    xmlNodePtr person = d.node(persons, "respPerson");
    d.content(d.node(person, "person"), "name", s.printedName, false);
    d.content(person, "description",
              s.login + " (UID " + std::to_string(s.uid) + "), " + signing::meaningName(s.meaning) + " " + s.utcTime +
                  (s.reason.empty() ? "" : "; reason: " + s.reason) + "; signature " + signing::signatureHash(s),
              false);
    d.text(person, "role", roleOf(s.meaning));
    if (s.meaning == signing::Meaning::Approved) d.text(person, "mainSigner", "true");
  }
  if (named) return;
  xmlNodePtr person = d.node(persons, "respPerson");
  const std::string performer = recordedPerformer(r, lab);
  d.content(d.node(person, "person"), "name", performer.empty() ? kNotGiven : performer, performer.empty());
  d.text(person, "role", "performer");
}

void administrativeData(Document& d, const CalibrationRecord& r, const Laboratory& lab, const std::string& identifier,
                        const std::string& date, const std::string& issueDate) {
  xmlNodePtr admin = d.node(d.root(), "administrativeData");
  software(d, admin, r);
  coreData(d, admin, r, lab, identifier, date);
  item(d, admin, r);
  xmlNodePtr laboratory = d.node(admin, "calibrationLaboratory");
  if (!lab.accreditationNumber.empty()) d.text(laboratory, "calibrationLaboratoryCode", lab.accreditationNumber);
  contact(d, laboratory, "contact", lab.name, lab.email, lab.address, lab.country,
          "the laboratory's e-mail address (Settings > Laboratory..., lab email)");
  responsiblePersons(d, admin, r, lab);
  contact(d, admin, "customer", r.customer, r.customerEmail, r.customerAddress, "",
          "the customer's e-mail address (the station's E-mail field, customer-email)");
  statements(d, admin, r, lab, issueDate);
}

void document(Document& d, const std::string& identifier, const std::vector<std::uint8_t>& pdf) {
  std::string file = identifier;
  for (char& c : file) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
  }
  xmlNodePtr doc = d.node(d.root(), "document");
  d.content(doc, "name", "The printed certificate", true);
  d.text(doc, "fileName", file + ".pdf");
  d.text(doc, "mimeType", "application/pdf");
  d.base64(doc, "dataBase64", pdf);
}

bool certifiable(const CalibrationRecord& r, const Laboratory& lab, std::string& problem) {
  if (r.kind == RecordKind::Restore) {
    problem = "A restore is no calibration: it has no certificate";
  } else if (!r.success) {
    problem = "The calibration did not succeed (" + r.result + "): a certificate is only issued for a successful one";
  } else if (!metrology::isCalendarDate(r.utcTime.substr(0, 10))) {
    problem = "The record's time \"" + r.utcTime + "\" has no calendar date";
  } else if (mayCertify(lab, r, problem)) {
    for (std::size_t i = 0; i < r.rows.size(); ++i) {
      if (dcc::certifiedRow(r, i)) return true;
    }
    problem = "The record has no row that was written or has results: there is nothing to certify";
  }
  return false;
}

}  // namespace

bool writeDcc(const CalibrationRecord& record, const Laboratory& lab, const std::vector<std::uint8_t>& pdf,
              std::string& xml, std::string& problem) {
  std::string identifier;
  if (!certifiable(record, lab, problem) || !documentNumber(lab, record, identifier, problem)) return false;
  if (!isCountryCode(lab.country)) {
    problem = "The DCC needs the country the laboratory calibrates in, two capitals of ISO 3166-1 such as DE "
              "(Settings > Laboratory..., lab country): \"" + lab.country + "\" is none";
    return false;
  }
  Document d;
  administrativeData(d, record, lab, identifier, record.utcTime.substr(0, 10), utcNow().substr(0, 10));
  dcc::addMeasurementResults(d, record);
  if (!pdf.empty()) document(d, identifier, pdf);
  std::string out;
  if (!d.problem().empty() || !d.dump(out)) {
    problem = d.problem();
    return false;
  }
  xml = std::move(out);
  return true;
}

bool writeDccFile(const CalibrationRecord& record, const Laboratory& lab, const std::vector<std::uint8_t>& pdf,
                  const std::string& path, std::string& problem) {
  std::string xml;
  if (!writeDcc(record, lab, pdf, xml, problem)) return false;
  // A seal that cannot be made is said before the DCC is written: nothing half done.
  problem = sealProblem(lab);
  if (!problem.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << xml;
  if (!out.flush()) {
    problem = "cannot write " + path;
    return false;
  }
  out.close();
  return sealDccFile(path, lab, problem);
}

}  // namespace trimwell
