#pragma once
// trimwell-records run as a process, as a lab's script would, on a real SQLite file
// holding three records: an overdue lab calibration of model 221, a failed write
// of 221 without a unit, and a recent calibration of model 235 that falls due
// within three weeks.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/lab_inputs.h"
#include "app/units_due.h"
#include "documents/laboratory.h"
#include "platform/qt/qsettings_registry.h"
#include "records/record_signing.h"
#include "records/sample_record.h"
#include "records/sqlite_record_store.h"
#include "support/temp_dir.h"

namespace trimwell {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

inline std::string today() {
  const std::chrono::year_month_day date{std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()));
  return text;
}

class RecordsTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<test::TempDir>();
    QSettingsRegistry settings(folder_->file("LocalMachine.ini"));
    setCalibrationInterval(settings, 221, 365);
    setCalibrationInterval(settings, 235, 100);
    Laboratory lab;
    lab.name = "Nordlab Kalibrierdienst";
    lab.email = "dcc@nordlab.example";
    lab.country = "DE";
    lab.requireApproval = "no";  // drafts of the records here, which nobody signed
    lab.save(settings);
    settings.flush();
    std::filesystem::create_directory(folder_->file("strict"));
    std::filesystem::create_directory(folder_->file("nolab"));  // a settings folder with no laboratory set
    QSettingsRegistry strict(folder_->file("strict/LocalMachine.ini"));
    lab.requireApproval = "yes";
    lab.save(strict);
    strict.flush();
    SqliteRecordStore store(db());
    for (CalibrationRecord& r : records()) ASSERT_TRUE(store.add(r)) << store.problem();
    ASSERT_TRUE(store.saveStandard(test::sampleStandard("PRT 7", 0.02))) << store.problem();
    SqliteRecordStore outbox(folder_->file("waiting.sqlite"));  // a station's, as the lab store keeps it
    ASSERT_TRUE(outbox.keepAsOutbox()) << outbox.problem();
    CalibrationRecord waiting = test::labRecord(221, 5);
    ASSERT_TRUE(outbox.add(waiting)) << outbox.problem();
  }
  static void TearDownTestSuite() { folder_.reset(); }

  // Overdue by 35 days, a failed write, and due in 20 days.
  static std::vector<CalibrationRecord> records() {
    std::vector<CalibrationRecord> r = {test::labRecord(221, 2), test::sampleRecord(221, 3), test::labRecord(235, 4)};
    r[0].utcTime = addDays(today(), -400) + "T08:00:00Z";
    r[0].operatorUid = 1001;
    r[0].operatorFullName = "Jane Doe";
    r[0].clockSynchronised = 0;
    r[0].clockMaxErrorUs = 16000000;
    r[1].utcTime = addDays(today(), -200) + "T09:30:00Z";
    r[1].result = "datasheet did not\nwrite\tproperly";  // still one line of the list
    r[2].utcTime = addDays(today(), -80) + "T10:15:00Z";
    // Each row adjusted is checked after it, as a certified calibration's are.
    for (std::size_t i : {0u, 2u}) r[i].results.push_back(test::sampleResult(1, true, 8.7));
    r[2].operatorUid = currentPerson().uid;  // calibrated by whoever runs the tests, who signs it
    r[2].operatorName = currentPerson().login;
    return r;
  }
  static std::string db() { return folder_->file("records.sqlite"); }

  // The tool with these arguments; "@db" stands for the records file, "@dir" for
  // the test's folder.
  static Outcome run(const std::string& args, const std::string& input = {}, const std::string& environment = {}) {
    std::string line = args;
    for (const auto& [mark, value] : {std::pair{std::string("@db"), db()}, {"@dir", folder_->path().string()}}) {
      for (std::size_t at; (at = line.find(mark)) != std::string::npos;) line.replace(at, mark.size(), value);
    }
    const std::string out = folder_->file("out.txt"), err = folder_->file("err.txt");
    std::string command = environment + std::string(TRIMWELL_RECORDS_TOOL) + " " + line + " >" + out + " 2>" + err;
    if (!input.empty()) {
      folder_->write("in.txt", input);
      command += " <" + folder_->file("in.txt");
    }
    Outcome r;
    const int status = std::system(command.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
  }

  static std::vector<long long> numbers(const std::string& listed) {
    std::vector<long long> out;
    std::istringstream lines(listed);
    for (std::string line; std::getline(lines, line);) out.push_back(std::stoll(line.substr(0, line.find('\t'))));
    return out;
  }

  static std::unique_ptr<test::TempDir> folder_;
};
inline std::unique_ptr<test::TempDir> RecordsTool::folder_;

}  // namespace trimwell
