#include <gtest/gtest.h>
#include <libxml/catalog.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <memory>
#include <string>

#include "metrology/reported_value.h"
#include "documents/dcc_results.h"
#include "documents/dcc_writer.h"
#include "documents/dcc_xml.h"
#include "documents/dsi_units.h"
#include "documents/dcc_sample.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

using test::dccLab;
using test::sixRowRecord;

const xmlChar* x(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// The shipped schemas, resolved by the shipped catalog, with the network shut:
// what a lab's own check of a certificate does.
class Schema {
 public:
  static Schema& get() {
    static Schema schema;
    return schema;
  }
  ~Schema() { xmlSchemaFree(schema_); }
  Schema(const Schema&) = delete;
  Schema& operator=(const Schema&) = delete;
  // "" when the text is a valid DCC, else libxml2's complaints.
  std::string check(const std::string& xml) {
    errors_.clear();
    if (schema_ == nullptr) return "the schema did not load: " + loadErrors_;
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "dcc.xml", nullptr, XML_PARSE_NONET), xmlFreeDoc);
    if (!doc) return "not well-formed XML";
    std::unique_ptr<xmlSchemaValidCtxt, void (*)(xmlSchemaValidCtxtPtr)> valid(xmlSchemaNewValidCtxt(schema_),
                                                                                xmlSchemaFreeValidCtxt);
    xmlSchemaSetValidStructuredErrors(valid.get(), collect, &errors_);
    return xmlSchemaValidateDoc(valid.get(), doc.get()) == 0 ? std::string() : errors_ + " ";
  }

 private:
  Schema() {
    const std::string folder = TRIMWELL_DCC_SCHEMAS;
    setenv("XML_CATALOG_FILES", (folder + "/catalog.xml").c_str(), 1);
    xmlInitializeCatalog();
    xmlLoadCatalog((folder + "/catalog.xml").c_str());
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt((folder + "/dcc.xsd").c_str());
    xmlSchemaSetParserStructuredErrors(parser, collect, &loadErrors_);
    schema_ = xmlSchemaParse(parser);
    xmlSchemaFreeParserCtxt(parser);
  }
  static void collect(void* to, xmlErrorPtr error) {
    *static_cast<std::string*>(to) += std::string(error->message != nullptr ? error->message : "?");
  }
  xmlSchemaPtr schema_ = nullptr;
  std::string loadErrors_;
  std::string errors_;
};

// A written DCC read back, asked by XPath.
class Parsed {
 public:
  explicit Parsed(const std::string& xml)
      : doc_(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "dcc.xml", nullptr, XML_PARSE_NONET), xmlFreeDoc),
        context_(xmlXPathNewContext(doc_.get()), xmlXPathFreeContext) {
    xmlXPathRegisterNs(context_.get(), x("dcc"), x(dcc::kDccNamespace));
    xmlXPathRegisterNs(context_.get(), x("si"), x(dcc::kSiNamespace));
  }
  std::vector<std::string> texts(const std::string& path) const {
    std::vector<std::string> out;
    std::unique_ptr<xmlXPathObject, void (*)(xmlXPathObjectPtr)> found(
        xmlXPathEvalExpression(x(path.c_str()), context_.get()), xmlXPathFreeObject);
    if (!found || found->nodesetval == nullptr) return out;
    for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
      xmlChar* text = xmlNodeGetContent(found->nodesetval->nodeTab[i]);
      out.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
      xmlFree(text);
    }
    return out;
  }
  std::string text(const std::string& path) const {
    const std::vector<std::string> all = texts(path);
    return all.size() == 1 ? all[0] : "(" + std::to_string(all.size()) + " nodes at " + path + ")";
  }
  double number(const std::string& path) const { return std::strtod(text(path).c_str(), nullptr); }

 private:
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc_;
  std::unique_ptr<xmlXPathContext, void (*)(xmlXPathContextPtr)> context_;
};

std::string written(const CalibrationRecord& record, const Laboratory& lab, const std::vector<std::uint8_t>& pdf = {}) {
  std::string xml, problem;
  EXPECT_TRUE(writeDcc(record, lab, pdf, xml, problem)) << problem;
  EXPECT_EQ(Schema::get().check(xml), "");
  return xml;
}

const char* const kPointResults = "//dcc:result[@refType='trimwell_asFound' or @refType='trimwell_asLeft']";

std::string ofQuantity(int result, const char* refType, const char* what) {
  return std::string("(") + kPointResults + ")[" + std::to_string(result) + "]/dcc:data/dcc:quantity[@refType='" +
         refType + "']/" + what;
}

TEST(Dcc, SixRowsWithChecksValidateAndKeepEveryNumberExactly) {
  CalibrationRecord record = sixRowRecord();
  // Row 1's reference values were read from an instrument.
  for (RecordResult& r : record.results) {
    if (r.row != 0) continue;
    r.referenceInstrument = "Brook Metrology PRT-9, serial RI-7731, firmware 2.04";
    r.referenceTime = "2026-03-05T09:12:0" + std::to_string(r.asLeft ? 9 : 1) + ".250Z";
  }
  const Parsed dcc(written(record, dccLab()));
  EXPECT_EQ(dcc.texts("//dcc:measurementResult").size(), 6u);
  int n = 0;
  for (std::size_t row = 0; row < record.rows.size(); ++row) {
    for (const RecordResult& r : record.results) {
      if (r.row != static_cast<int>(row)) continue;
      SCOPED_TRACE("result " + std::to_string(++n));
      // The numbers as the certificate prints them: U rounded up, the rest to its place.
      const metrology::PointResult& p = r.result;
      const metrology::ReportedPoint shown = metrology::reportPoint(p);
      EXPECT_EQ(dcc.text(ofQuantity(n, "basic_referenceValue", "si:real/si:value")), shown.referenceValue);
      EXPECT_EQ(dcc.text(ofQuantity(n, "basic_measuredValue", "si:real/si:value")), shown.reading);
      EXPECT_EQ(dcc.text(ofQuantity(n, "basic_measurementError", "si:real/si:value")), shown.error);
      const std::string unc = "si:real/si:expandedUnc/";
      EXPECT_EQ(dcc.text(ofQuantity(n, "basic_measurementError", (unc + "si:uncertainty").c_str())), shown.expanded);
      EXPECT_GE(dcc.number(ofQuantity(n, "basic_measurementError", (unc + "si:uncertainty").c_str())),
                p.uncertainty.expanded());  // rounded up, never down
      EXPECT_EQ(dcc.text(ofQuantity(n, "basic_measurementError", (unc + "si:coverageFactor").c_str())),
                shown.coverageFactor);
      EXPECT_EQ(dcc.text(ofQuantity(n, "basic_measurementError", (unc + "si:coverageProbability").c_str())), "0.9545");
      EXPECT_EQ(dcc.text(ofQuantity(n, "basic_toleranceLimitUpper", "si:real/si:value")), shown.limit);
      EXPECT_EQ(dcc.text(ofQuantity(n, "basic_toleranceLimitLower", "si:real/si:value")), "-" + shown.limit);
      EXPECT_EQ(dcc.text(ofQuantity(n, "basic_measurementError", "dcc:measurementMetaData/dcc:metaData/dcc:conformity")),
                dcc::conformityName(p.verdict));
    }
  }
  EXPECT_EQ(n, 12);
  // The adjustment's points, one that six digits would make 1e+21 for all rows.
  EXPECT_EQ(dcc.number("(//dcc:quantity[@refType='trimwell_point2Raw'])[6]/si:real/si:value"), record.rows[5].point2Raw);
  EXPECT_EQ(dcc.number("(//dcc:influenceCondition[@refType='basic_temperature'])[1]//si:value"),
            record.ambientTemperature);
  EXPECT_EQ(dcc.text("//dcc:uniqueIdentifier"), "KLN-B2-2026-00042");
  EXPECT_EQ(dcc.text("//dcc:customer/dcc:name/dcc:content"), record.customer);
  // Contacts with their e-mail, the customer's address in the schema's fields.
  EXPECT_EQ(dcc.text("//dcc:customer/dcc:eMail"), "qs@kunde.example");
  EXPECT_EQ(dcc.text("//dcc:calibrationLaboratory/dcc:contact/dcc:eMail"), "kalibrierung@nord.example");
  EXPECT_EQ(dcc.text("//dcc:customer/dcc:location/dcc:postCode"), "D-70173");
  EXPECT_EQ(dcc.text("//dcc:customer/dcc:location/dcc:city"), "Stuttgart");
  EXPECT_EQ(dcc.text("//dcc:customer/dcc:location/dcc:countryCode"), "DE");
  EXPECT_EQ(dcc.text("//dcc:customer/dcc:location/dcc:further/dcc:content"), "Industriestra\xC3\x9F" "e 12");
  EXPECT_EQ(dcc.texts("//dcc:eMail[not(text())]").size(), 0u);
  // The day of issue, which the schema has no field of its own for.
  EXPECT_EQ(dcc.text("//dcc:statement[@refType='trimwell_dateOfIssue']/dcc:date"), utcNow().substr(0, 10));
  EXPECT_EQ(dcc.text("(//dcc:usedMethod/dcc:name/dcc:content)[1]"), "KLN-TP-07, version 4");
  EXPECT_EQ(dcc.text("//dcc:items/dcc:item/dcc:name/dcc:content"), record.datasheetName);
  EXPECT_EQ(dcc.text("//dcc:software/dcc:release"), "1.21");
  EXPECT_EQ(dcc.text("//dcc:coreData/dcc:beginPerformanceDate"), "2026-03-05");
  // The worst as-left verdict; the as-found fails are for information.
  EXPECT_EQ(dcc.text("//dcc:statement[@refType='basic_conformity']/dcc:conformity"), "conditionalPass");
  // Each verdict points to the statement of the rule it was decided by.
  EXPECT_EQ(dcc.texts("//dcc:metaData[@refType='basic_conformity']").size(),
            dcc.texts("//dcc:metaData[@refType='basic_conformity'][@refId='decisionRule']").size());
  EXPECT_EQ(dcc.texts("//dcc:statement[@id='decisionRule'][@refType='basic_conformity']").size(), 1u);
  // Every refType is the vocabulary's (as the PTB's good-practice DCCs use them),
  // or the station's own, prefixed: no basic_ term of its own making.
  const std::set<std::string> vocabulary = {
      "basic_referenceValue", "basic_measuredValue", "basic_measurementError", "basic_conformity",
      "basic_toleranceLimitLower", "basic_toleranceLimitUpper", "basic_temperature", "basic_humidityRelative",
      "basic_standardUsed"};
  for (const std::string& used : dcc.texts("//@refType")) {
    std::istringstream words(used);
    for (std::string word; words >> word;) {
      EXPECT_TRUE(vocabulary.count(word) == 1 || word.rfind("trimwell_", 0) == 0) << word;
    }
  }
  EXPECT_EQ(dcc.texts("//dcc:measuringEquipment[@refType='basic_standardUsed']").size(), 6u);
  // The instrument as measuring equipment of row 1 alone, with each reading used and its time.
  const std::string instrument = "//dcc:measuringEquipment[@refType='trimwell_referenceInstrument']";
  EXPECT_EQ(dcc.texts(instrument).size(), 1u);
  EXPECT_EQ(dcc.texts("(//dcc:measurementResult)[1]" + instrument).size(), 1u);
  EXPECT_EQ(dcc.text(instrument + "/dcc:name/dcc:content"), record.results[0].referenceInstrument);
  const std::string readings = instrument + "//dcc:measuringEquipmentQuantity";
  ASSERT_EQ(dcc.texts(readings).size(), 2u);
  EXPECT_EQ(dcc.number("(" + readings + ")[1]/si:real/si:value"), record.results[0].result.referenceValue);
  EXPECT_EQ(dcc.text("(" + readings + ")[1]/dcc:description/dcc:content"), "Read at " + record.results[0].referenceTime);
}

TEST(Dcc, EachRowStatesItsUnitInDsiOrKeepsTheDatasheetsText) {
  CalibrationRecord record = sixRowRecord();
  // The datasheet the sensor came with named other units: the one it leaves with counts.
  record.asFoundImage = test::unitImage(std::vector<std::string>(6, "bar"));
  const Parsed dcc(written(record, dccLab()));
  const char* const expected[] = {"\\degreecelsius", "\\micro\\siemens\\centi\\metre\\tothe{-1}", "\\percent",
                                  "\\milli\\gram\\litre\\tothe{-1}", "\\nano\\ampere", "\\one"};
  auto firstError = [](int row) {
    return "((//dcc:measurementResult)[" + std::to_string(row) + "]//dcc:quantity[@refType='basic_measurementError'])[1]";
  };
  for (int row = 1; row <= 6; ++row) EXPECT_EQ(dcc.text(firstError(row) + "/si:real/si:unit"), expected[row - 1]);
  // pH has no D-SI form: a number of unit one, named with the datasheet's text.
  EXPECT_EQ(dcc.text(firstError(6) + "/dcc:name/dcc:content"), "Error (pH)");
  EXPECT_EQ(dcc.text(firstError(6) + "//dcc:nonSIUnit"), "pH");
  EXPECT_TRUE(dcc.texts("(//dcc:measurementResult)[1]//dcc:nonSIUnit").empty());
}

// A row left out of the write has no adjustment; it is stated only with results.
TEST(Dcc, LeftOutRowsAppearOnlyWithResults) {
  CalibrationRecord record = sixRowRecord();
  record.rows[2].leftOut = true;
  record.rows[4].leftOut = true;
  std::erase_if(record.results, [](const RecordResult& r) { return r.row == 4; });
  const Parsed dcc(written(record, dccLab()));
  EXPECT_EQ(dcc.texts("//dcc:measurementResult").size(), 5u);
  EXPECT_EQ(dcc.texts("//dcc:result[@refType='trimwell_adjustment']").size(), 4u);
  EXPECT_EQ(dcc.text("(//dcc:measurementResult)[3]/dcc:description/dcc:content"),
            "Left out: this row's calibration was not written");
  EXPECT_EQ(dcc.texts("(//dcc:measurementResult)[3]//dcc:result").size(), 2u);
  // A row adjusted and not checked since is certified only where the lab allows
  // it, and then says so.
  std::erase_if(record.results, [](const RecordResult& r) { return r.row == 1 && r.asLeft; });
  Laboratory lab = dccLab();
  lab.certifyUnchecked = "yes";
  const Parsed unchecked(written(record, lab));
  EXPECT_EQ(unchecked.text("(//dcc:measurementResult)[2]/dcc:description/dcc:content"),
            "Not checked after its adjustment: the results are those as found, with the calibration the item came "
            "with");
  EXPECT_EQ(unchecked.texts("//dcc:measurementResult/dcc:description").size(), 2u);
  // The item's conformity as left says it does not cover that row.
  EXPECT_NE(unchecked.text("//dcc:statement[@refType='basic_conformity']/dcc:declaration/dcc:content")
                .find("It does not cover row(s) 2, adjusted and not checked after it."),
            std::string::npos);
}

TEST(Dcc, CarriesThePrintedCertificate) {
  std::vector<std::uint8_t> pdf;
  for (int i = 0; i < 1000; ++i) pdf.push_back(static_cast<std::uint8_t>(i * 7));
  const Parsed dcc(written(sixRowRecord(), dccLab(), pdf));
  EXPECT_EQ(dcc.text("/dcc:digitalCalibrationCertificate/dcc:document/dcc:dataBase64"), dcc::base64Text(pdf));
  EXPECT_EQ(dcc.text("//dcc:document/dcc:mimeType"), "application/pdf");
  EXPECT_EQ(dcc.text("//dcc:document/dcc:fileName"), "KLN-B2-2026-00042.pdf");
  const Parsed bare(written(sixRowRecord(), dccLab()));
  EXPECT_TRUE(bare.texts("//dcc:document").empty());
  EXPECT_TRUE(bare.texts("//dcc:previousReport").empty());
}

// An amendment's DCC names the certificate it replaces, by number and by the
// content hash of the version that one was issued of; it still validates.
TEST(Dcc, AmendmentNamesTheCertificateItReplaces) {
  CalibrationRecord amended = sixRowRecord();
  amended.amendsUuid = "5b0e0000-0000-4000-8000-000000000001";
  amended.revision = 1;
  amended.amendmentReason = "reference value mistyped";
  amended.replacesNumber = "KLN-B2-2026-00041";
  amended.replacesHash = std::string(64, 'c');
  const Parsed dcc(written(amended, dccLab()));
  EXPECT_EQ(dcc.text("//dcc:coreData/dcc:previousReport/dcc:referralID"), "KLN-B2-2026-00041");
  EXPECT_EQ(dcc.text("//dcc:coreData/dcc:previousReport/dcc:value"), std::string(64, 'c'));
  EXPECT_EQ(dcc.text("//dcc:coreData/dcc:previousReport/dcc:referral/dcc:content"),
            "Certificate KLN-B2-2026-00041, replaced by this revision 1: reference value mistyped");
  amended.replacesNumber.clear();  // nothing was issued of the version it amends
  EXPECT_TRUE(Parsed(written(amended, dccLab())).texts("//dcc:previousReport").empty());
}

TEST(Dcc, WithoutALabStillValidates) {
  CalibrationRecord record = sixRowRecord();
  record.customer.clear();
  record.standards.clear();
  record.results.clear();
  record.ambientTemperature = std::nan("");
  record.relativeHumidity = std::nan("");
  Laboratory lab;
  lab.address = "Hauptplatz 1\n8010 Graz";
  lab.email = "office@graz.example";
  lab.country = "AT";
  lab.location = "on-site Kunde Linz, Halle 3";
  std::string ignored;
  ASSERT_TRUE(calibrationPlace(lab, record.calibrationPlace, ignored));
  const Parsed dcc(written(record, lab));
  EXPECT_EQ(dcc.text("//dcc:uniqueIdentifier"), certificateNumber(lab, record));
  EXPECT_EQ(dcc.text("//dcc:countryCodeISO3166_1"), "AT");
  EXPECT_EQ(dcc.text("//dcc:performanceLocation"), "customer");
  EXPECT_EQ(dcc.text("//dcc:statement[@refType='trimwell_calibrationPlace']/dcc:location/dcc:further/dcc:content"),
            "Kunde Linz, Halle 3");
  // The lab's address in the schema's fields, its country from its setting.
  const char* labPlace = "//dcc:calibrationLaboratory/dcc:contact/dcc:location/dcc:";
  EXPECT_EQ(dcc.text(std::string(labPlace) + "street"), "Hauptplatz 1");
  EXPECT_EQ(dcc.text(std::string(labPlace) + "postCode"), "8010");
  EXPECT_EQ(dcc.text(std::string(labPlace) + "city"), "Graz");
  EXPECT_EQ(dcc.text(std::string(labPlace) + "countryCode"), "AT");
  EXPECT_EQ(dcc.text("//dcc:statement[@refType='basic_conformity']/dcc:declaration/dcc:content"),
            "No statement of conformity: the item was not checked after its adjustment");
  EXPECT_TRUE(dcc.texts("//dcc:conformity").empty());
  EXPECT_EQ(dcc.text("//dcc:customer/dcc:name/dcc:content"), "not given");
  record.calibrationPlace.clear();
  const Parsed german(written(record, dccLab()));
  EXPECT_EQ(german.text("//dcc:countryCodeISO3166_1"), "DE");
  EXPECT_EQ(german.text("//dcc:performanceLocation"), "laboratory");
  EXPECT_TRUE(german.texts("//dcc:statement[@refType='trimwell_calibrationPlace']").empty());
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The lab's seal, beside the DCC: xmlsec1 verifies it against the lab's certificate
// as a process, and fails it once a value in the DCC is changed; the DCC itself
// still validates. A key every user can read, or half a seal, is refused before
// anything is written.
class DccSeal : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -keyout " + dir.file("seal.key") + " -out " +
                             dir.file("seal.pem") + " -days 2 -subj /CN=Kalibrierlabor-Nord >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    ASSERT_EQ(chmod(dir.file("seal.key").c_str(), 0600), 0);
    lab = dccLab();
    lab.sealKeyFile = dir.file("seal.key");
    lab.sealCertificateFile = dir.file("seal.pem");
  }
  int verify() const {
    // As a reader checks it: in the folder the DCC and its seal came in.
    const std::string command = "cd " + dir.path().string() + " && xmlsec1 --verify --trusted-pem seal.pem one.xml.sig >" +
                                dir.file("xmlsec.log") + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  test::TempDir dir;
  Laboratory lab;
};

TEST_F(DccSeal, VerifiesWithTheLabsCertificateUntilTheDccChanges) {
  std::string problem;
  ASSERT_TRUE(writeDccFile(sixRowRecord(), lab, {}, dir.file("one.xml"), problem)) << problem;
  EXPECT_EQ(verify(), 0) << readText(dir.file("xmlsec.log"));
  std::string xml = readText(dir.file("one.xml"));
  EXPECT_EQ(Schema::get().check(xml), "");
  const std::size_t at = xml.find("<si:value>");
  ASSERT_NE(at, std::string::npos);
  xml.insert(at + 10, "1");
  dir.write("one.xml", xml);
  EXPECT_NE(verify(), 0) << "a changed value passed the seal";
}

TEST_F(DccSeal, KeyEveryUserCanReadOrHalfASealIsRefused) {
  std::string problem;
  ASSERT_EQ(chmod(lab.sealKeyFile.c_str(), 0644), 0);
  EXPECT_FALSE(writeDccFile(sixRowRecord(), lab, {}, dir.file("one.xml"), problem));
  EXPECT_EQ(problem, "The seal key " + lab.sealKeyFile +
                         " can be read by every user of this computer; make it readable only by those who may seal "
                         "for the laboratory (chmod o-r)");
  EXPECT_FALSE(std::filesystem::exists(dir.file("one.xml")));
  lab.sealKeyFile.clear();
  EXPECT_FALSE(writeDccFile(sixRowRecord(), lab, {}, dir.file("one.xml"), problem));
  EXPECT_EQ(problem, "The laboratory's seal needs both its key and its certificate (PEM files); only one is set");
  lab.sealCertificateFile.clear();
  EXPECT_TRUE(writeDccFile(sixRowRecord(), lab, {}, dir.file("one.xml"), problem)) << problem;
  EXPECT_FALSE(std::filesystem::exists(dir.file("one.xml.sig")));
}

struct Refusal {
  const char* name;
  void (*spoil)(CalibrationRecord&);
  const char* problem;
  void (*spoilLab)(Laboratory&) = [](Laboratory&) {};
};

class DccRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(DccRefuses, NamesWhyAndWritesNothing) {
  CalibrationRecord record = sixRowRecord();
  GetParam().spoil(record);
  std::string xml = "untouched", problem;
  Laboratory lab = dccLab();
  GetParam().spoilLab(lab);
  EXPECT_FALSE(writeDcc(record, lab, {}, xml, problem));
  EXPECT_NE(problem.find(GetParam().problem), std::string::npos) << problem;
  EXPECT_EQ(xml, "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Records, DccRefuses,
    ::testing::Values(
        Refusal{"failed_write",
                [](CalibrationRecord& r) {
                  r.success = false;
                  r.result = "datasheet did not write properly";
                },
                "did not succeed (datasheet did not write properly)"},
        Refusal{"restore", [](CalibrationRecord& r) { r.kind = RecordKind::Restore; }, "A restore is no calibration"},
        // Its number in the station's outbox is no certificate number.
        Refusal{"waiting", [](CalibrationRecord& r) { r.waiting = true; }, kNotYetNumbered},
        Refusal{"never_numbered", [](CalibrationRecord& r) { r.id = 0; }, kNotYetNumbered},
        Refusal{"reading_not_finite", [](CalibrationRecord& r) { r.results[7].result.reading = std::nan(""); },
                "Row 2, As left 1's Reading is not a finite number"},
        Refusal{"coverage_below_one", [](CalibrationRecord& r) { r.results[0].result.uncertainty.coverageFactor = 0.5; },
                "coverage factor of 0.5"},
        Refusal{"no_date", [](CalibrationRecord& r) { r.utcTime = "yesterday"; }, "has no calendar date"},
        // A unit no table knows is not passed off as unit one.
        Refusal{"unit_unknown",
                [](CalibrationRecord& r) {
                  r.asFoundImage.clear();
                  r.asLeftImage.clear();
                  for (RecordStandard& s : r.standards) s.standard.unit = "furlong";
                },
                "The DCC cannot state row 1's unit \"furlong\""},
        // What the schema requires of a contact and nobody gave is named, never written empty.
        Refusal{"customer_without_email", [](CalibrationRecord& r) { r.customerEmail = " "; },
                "The DCC needs the customer's e-mail address"},
        Refusal{"lab_without_email", [](CalibrationRecord&) {}, "The DCC needs the laboratory's e-mail address",
                [](Laboratory& lab) { lab.email.clear(); }},
        // The country calibrated in is the lab's setting, not guessed from an address.
        Refusal{"lab_without_country", [](CalibrationRecord&) {}, "\"\" is none",
                [](Laboratory& lab) { lab.country.clear(); }},
        Refusal{"country_not_a_code", [](CalibrationRecord&) {}, "\"Deutschland\" is none",
                [](Laboratory& lab) { lab.country = "Deutschland"; }},
        // Adjusted, and nothing shows what the new calibration reads.
        Refusal{"row_not_checked_after_adjustment",
                [](CalibrationRecord& r) {
                  std::erase_if(r.results, [](const RecordResult& x) { return x.row == 2 && x.asLeft; });
                },
                "Row 3 (Channel 2"},
        // A record from elsewhere whose unit reads as another is not certified as it reads.
        Refusal{"unit_reads_as_another", [](CalibrationRecord& r) { r.unit = "U\u202eKCOLB"; },
                "The unit's identification holds U+202E, a character that is not shown or changes how the text "
                "reads: amend the record first"},
        Refusal{"nothing_written",
                [](CalibrationRecord& r) {
                  for (RecordRow& row : r.rows) row.leftOut = true;
                  r.results.clear();
                },
                "nothing to certify"}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnitCase {
  const char* name;
  const char* text;
  const char* dsi;
  bool machineReadable;
  bool known = true;  // else a DCC stops, naming it
};

class DsiUnits : public ::testing::TestWithParam<UnitCase> {};

TEST_P(DsiUnits, MapTheDatasheetsText) {
  const DsiUnit unit = dsiUnit(GetParam().text);
  EXPECT_EQ(unit.unit, GetParam().dsi);
  EXPECT_EQ(unit.machineReadable, GetParam().machineReadable);
  EXPECT_EQ(unit.known, GetParam().known);
}

INSTANTIATE_TEST_SUITE_P(
    SampleLibrary, DsiUnits,
    ::testing::Values(UnitCase{"degree_sign", "\xC2\xB0" "C", "\\degreecelsius", true},
                      UnitCase{"degree_celsius_sign", "\xE2\x84\x83", "\\degreecelsius", true},
                      UnitCase{"micro_sign", "\xC2\xB5" "S/cm", "\\micro\\siemens\\centi\\metre\\tothe{-1}", true},
                      UnitCase{"greek_mu", "\xCE\xBC" "S/cm", "\\micro\\siemens\\centi\\metre\\tothe{-1}", true},
                      UnitCase{"percent", "%", "\\percent", true},
                      UnitCase{"kilopascal", "kPa", "\\kilo\\pascal", true},
                      UnitCase{"millivolt_spaced", " mV ", "\\milli\\volt", true},
                      UnitCase{"nanoampere", "nA", "\\nano\\ampere", true},
                      UnitCase{"milligram_per_litre", "mg/L", "\\milli\\gram\\litre\\tothe{-1}", true},
                      UnitCase{"none", "", "\\one", true},
                      UnitCase{"ohm", "k\xCE\xA9", "\\kilo\\ohm", true},
                      UnitCase{"millibar", "mbar", "\\milli\\bar", true},
                      UnitCase{"lux", "lx", "\\lux", true},
                      UnitCase{"counts", "counts", "\\one", false},
                      UnitCase{"ph", "pH", "\\one", false},
                      UnitCase{"two_words", "mV counts", "\\one", false, false},
                      UnitCase{"unknown", "furlong", "\\one", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct Base64Case {
  const char* bytes;
  const char* text;
};

class Base64 : public ::testing::TestWithParam<Base64Case> {};

TEST_P(Base64, FollowsRfc4648) {
  const std::string bytes = GetParam().bytes;
  EXPECT_EQ(dcc::base64Text({bytes.begin(), bytes.end()}), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Vectors, Base64,
                         ::testing::Values(Base64Case{"", ""}, Base64Case{"f", "Zg=="}, Base64Case{"fo", "Zm8="},
                                           Base64Case{"foo", "Zm9v"}, Base64Case{"foob", "Zm9vYg=="},
                                           Base64Case{"fooba", "Zm9vYmE="}, Base64Case{"foobar", "Zm9vYmFy"},
                                           Base64Case{"\xFF\xFE\x80", "//6A"}));

}  // namespace
}  // namespace trimwell
