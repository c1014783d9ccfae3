// The CSV export as a spreadsheet would read it: every line the same number of
// fields, texts that would run as formulas led by an apostrophe, the station's
// numbers bare and exact.
#include "documents/record_export.h"

#include <gtest/gtest.h>

namespace trimwell {
namespace {

struct FieldCase {
  const char* name;
  std::string text;
  std::string field;
};

class CsvField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(CsvField, IsQuotedAndDefusedAsASpreadsheetNeeds) { EXPECT_EQ(csvText(GetParam().text), GetParam().field); }

INSTANTIATE_TEST_SUITE_P(
    Texts, CsvField,
    ::testing::Values(FieldCase{"plain", "Brook Water Lab", "Brook Water Lab"},
                      FieldCase{"comma", "Hamburg, Hafen", "\"Hamburg, Hafen\""},
                      FieldCase{"quote", "the \"Nord\" lab", "\"the \"\"Nord\"\" lab\""},
                      FieldCase{"line_feed", "two\nlines", "\"two\nlines\""},
                      FieldCase{"formula", "=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
                      FieldCase{"plus", "+49 40 1234", "'+49 40 1234"},
                      FieldCase{"minus", "-1+2", "'-1+2"},
                      FieldCase{"at", "@SUM(A1)", "'@SUM(A1)"},
                      FieldCase{"tab", "\t=1", "'\t=1"},
                      FieldCase{"carriage_return", "\r=1", "\"'\r=1\""},
                      FieldCase{"inner_equals", "a=b", "a=b"},
                      FieldCase{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// RFC 4180 lines into fields, quotes undone.
std::vector<std::vector<std::string>> parseCsv(const std::string& csv) {
  std::vector<std::vector<std::string>> lines(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < csv.size(); ++i) {
    const char c = csv[i];
    if (quoted && c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') {
      lines.back().back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      lines.back().emplace_back();
    } else if (!quoted && c == '\r' && i + 1 < csv.size() && csv[i + 1] == '\n') {
      lines.emplace_back(1);
      ++i;
    } else {
      lines.back().back() += c;
    }
  }
  if (lines.back().size() == 1 && lines.back()[0].empty()) lines.pop_back();
  return lines;
}

TEST(RecordsCsv, EveryLineHasEveryFieldTextsDefusedNumbersExact) {
  CalibrationRecord r;
  r.id = 7;
  r.customer = "=cmd|' /C calc'!A0";
  r.unit = "TP-0042, rack 3";
  r.datasheetName = "-probe";
  r.success = true;
  r.result = "written and verified";
  RecordRow row;
  row.name = "Temperature";
  row.point1Data = -1.5;
  row.point2Data = 0.1 + 0.2;
  row.constants = {-40.0, 1e-300, 123456789.123456789, -0.0};
  r.rows = {row};
  CalibrationRecord empty = r;
  empty.id = 8;
  empty.rows.clear();
  const auto lines = parseCsv(recordsCsv({r, empty}));
  ASSERT_EQ(lines.size(), 3u);
  const std::vector<std::string>& head = lines[0];
  for (const auto& line : lines) EXPECT_EQ(line.size(), head.size());
  const auto at = [&](const std::vector<std::string>& line, const std::string& column) {
    const auto c = std::find(head.begin(), head.end(), column);
    return c == head.end() ? std::string("(no column)") : line[static_cast<std::size_t>(c - head.begin())];
  };
  EXPECT_EQ(at(lines[1], "customer"), "'=cmd|' /C calc'!A0");
  EXPECT_EQ(at(lines[1], "unit"), "TP-0042, rack 3");
  EXPECT_EQ(at(lines[1], "datasheet"), "'-probe");
  EXPECT_EQ(at(lines[1], "point1_data"), "-1.5");
  EXPECT_EQ(std::stod(at(lines[1], "point2_data")), 0.1 + 0.2);
  EXPECT_EQ(std::stod(at(lines[1], "c1")), 1e-300);
  EXPECT_EQ(std::stod(at(lines[1], "c2")), 123456789.123456789);
  EXPECT_EQ(at(lines[1], "c0"), "-40");
  EXPECT_EQ(at(lines[2], "record"), "8");
}

}  // namespace
}  // namespace trimwell
