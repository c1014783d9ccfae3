#include "documents/laboratory.h"

#include <gtest/gtest.h>

#include <tuple>

namespace trimwell {
namespace {

struct NumberCase {
  const char* name;
  const char* pattern;
  long long id;
  const char* number;  // "" when the pattern is refused or the record has no number yet
};

class CertificateNumbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(CertificateNumbers, FollowTheLabsPattern) {
  const NumberCase& c = GetParam();
  Laboratory lab;
  lab.code = "KLN";
  lab.stationCode = "B2";
  lab.numberPattern = c.pattern;
  CalibrationRecord record;
  record.id = c.id;
  record.utcTime = "2026-12-09T10:00:00Z";
  EXPECT_EQ(certificateNumber(lab, record), c.number);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, CertificateNumbers,
    ::testing::Values(NumberCase{"station_default", "{lab}-{station}-{year}-{seq:05}", 42, "KLN-B2-2026-00042"},
                      NumberCase{"lab_store", "{lab}-{year}-{seq:05}", 123456, "KLN-2026-123456"},
                      NumberCase{"plain_sequence", "C{seq}", 7, "C7"},
                      NumberCase{"waiting_record", "{lab}-{seq:05}", 0, ""},
                      NumberCase{"no_sequence", "{lab}-{year}", 42, ""},
                      NumberCase{"unknown_mark", "{lab}-{month}-{seq}", 42, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LaboratoryStore, KeepsEveryFieldWithNonLatinText) {
  MemoryRegistry settings;
  Laboratory lab;
  lab.name = "Лаборатория Nord 校准";
  lab.address = "Hafenstraße 3\n20457 Hamburg";
  lab.accreditationNumber = "D-K-12345-01-00";
  lab.numberPattern = "{lab}-{year}-{seq:06}";
  ASSERT_TRUE(lab.save(settings));
  const Laboratory read = Laboratory::load(settings);
  EXPECT_EQ(read.name, lab.name);
  EXPECT_EQ(read.address, lab.address);
  EXPECT_EQ(read.accreditationNumber, lab.accreditationNumber);
  EXPECT_EQ(read.numberPattern, lab.numberPattern);
  EXPECT_EQ(read.stationCode, "S1");
}

// A model's procedure: the lab's line for it, replaced when set again, the others
// kept; a model not named is calibrated by the station's own procedure.
TEST(LaboratoryProcedures, EachModelByItsLineElseTheStations) {
  Laboratory lab;
  std::string problem;
  ASSERT_TRUE(setProcedure(lab, 221, "KLN-TP-07", "4", problem)) << problem;
  ASSERT_TRUE(setProcedure(lab, 235, "KLN CO 2", "1.0", problem)) << problem;  // an identifier of words
  ASSERT_TRUE(setProcedure(lab, 221, "KLN-TP-07", "5", problem)) << problem;
  EXPECT_EQ(lab.procedures, "235 KLN CO 2 1.0\n221 KLN-TP-07 5");
  EXPECT_EQ(procedureFor(lab, 221).version, "5");
  EXPECT_EQ(procedureFor(lab, 235).id, "KLN CO 2");
  EXPECT_EQ(procedureFor(lab, 2210).id, kStationProcedure);  // not the line of 221
  EXPECT_EQ("Trimwell " + procedureFor(lab, 2210).version, kStationVersion);
  for (const auto& [model, id, version] : {std::tuple{0, "X", "1"}, {221, " ", "1"}, {221, "X", "1 2"}, {221, "X", ""}}) {
    EXPECT_FALSE(setProcedure(lab, model, id, version, problem)) << model << " " << id << " " << version;
  }
  EXPECT_EQ(lab.procedures, "235 KLN CO 2 1.0\n221 KLN-TP-07 5");
  std::string place;
  for (const auto& [location, expected, valid] : {std::tuple{"laboratory", "", true}, {"on-site Werk 2", "Werk 2", true},
                                                  {"on-site  ", "", false}, {"at the customer's", "", false}}) {
    Laboratory at;
    at.location = location;
    EXPECT_EQ(calibrationPlace(at, place, problem), valid) << location;
    EXPECT_EQ(place, expected) << location;
  }
}

}  // namespace
}  // namespace trimwell
