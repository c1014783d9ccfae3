// trimwell-records: list, show and export the station's calibration records, make
// a record's certificate and DCC, and list the units due for calibration.
#include "tools/trimwell_records.h"

#include <filesystem>
#include <iostream>
#include <map>

#include "platform/default_paths.h"
#include "platform/program_options.h"
#include "platform/text_safety.h"
#include "platform/qt/qsettings_registry.h"
#include "records/postgres_record_store.h"
#include "records/sqlite_record_store.h"

namespace trimwell::tool {
namespace {

constexpr const char* kUsage =
    "usage: trimwell-records --records FILE|URL [--settings DIR] COMMAND ...\n"
    "The station's calibration records, read from its SQLite file or the lab's\n"
    "PostgreSQL store as they stand (never changed nor brought up to date:\n"
    "sign appends a signature, certificate, dcc and report their issue, and\n"
    "send-waiting only moves what waits).\n"
    "  list [--unit U] [--model ID] [--since DATE] [--json]  newest first\n"
    "  show [--all] ID|UUID              the record in full, with its results; --all:\n"
    "                                    every version, its signatures and audit trail\n"
    "  certificate ID|UUID FILE.pdf      the record's certificate (or report)\n"
    "  dcc ID|UUID FILE.xml              its digital calibration certificate\n"
    "  report ID|UUID FILE.pdf           everything kept of it: every version, its\n"
    "                                    signatures and audit entries\n"
    "  export csv|json FILE [--unit U] [--model ID] [--since DATE]\n"
    "                                    the records in full (FILE - : standard output)\n"
    "  due [--days N]                    the units due within N days (30)\n"
    "  sign ID|UUID performed|reviewed|approved|amended [--reason TEXT]\n"
    "                                    signs the record as you, with your login\n"
    "                                    and password (asked on the terminal)\n"
    "  send-waiting [--outbox FILE]      sends the records that wait on this station\n"
    "                                    (its outbox, or FILE) to the lab's store at\n"
    "                                    --records URL; 1 when any are left\n"
    "  init-lab                          sets up the lab's store at --records URL:\n"
    "                                    its tables, an owner role and a station\n"
    "                                    role that may only read and append\n"
    "  verify [--head HASH]              walks the audit trail and every\n"
    "                                    record's hash, and finds a head kept (as a\n"
    "                                    certificate prints it); 1 naming the first\n"
    "                                    that does not match\n"
    "  --records FILE|URL  an SQLite file or a postgresql:// URL\n"
    "  --settings DIR      the station's settings folder (the laboratory, the\n"
    "                      calibration intervals); else the station's own\n"
    "Exit status: 0 done, 1 not found or refused, 2 bad use.";

const std::map<std::string, int (*)(Context&)> kCommands = {
    {"list", listCommand}, {"show", showCommand}, {"export", exportCommand},
    {"due", dueCommand},   {"certificate", certificateCommand}, {"dcc", dccCommand},
    {"sign", signCommand}, {"report", reportCommand}};

std::string settingsFile(const std::string& folder) {
  if (!folder.empty()) return defaultPaths(StationProgram::Script, folder).settingsFile;
  return defaultPaths(StationProgram::Station, QSettingsRegistry::defaultFolder()).settingsFile;
}

}  // namespace

std::unique_ptr<RecordStore> openStore(const std::string& where, StoreAccess access, const std::string& caFile,
                                       std::string& problem) {
  if (PostgresRecordStore::isUrl(where)) return labServer(where, access, caFile);
  auto store = std::make_unique<SqliteRecordStore>(where, access);
  if (!store->isOpen()) {
    problem = store->problem();
    return nullptr;
  }
  if (!store->notice().empty()) std::cerr << "trimwell-records: " << store->notice() << "\n";
  return store;
}

std::unique_ptr<PostgresRecordStore> labServer(const std::string& url, StoreAccess access, const std::string& caFile) {
  auto server = std::make_unique<PostgresRecordStore>(url, access);
  server->setCaFile(caFile);
  if (const std::string notice = server->tlsNotice(); !notice.empty()) std::cerr << "trimwell-records: " << notice << "\n";
  return server;
}

int refused(const std::string& problem) {
  std::cerr << "trimwell-records: " << terminalText(problem, true) << "\n";
  return kRefused;
}

int badUse(const std::string& problem) {
  std::cerr << "trimwell-records: " << terminalText(problem, true) << " (trimwell-records --help tells the usage)\n";
  return kBadUse;
}

}  // namespace trimwell::tool

int main(int argc, char** argv) {
  using namespace trimwell::tool;
  if (trimwell::answerHelpOrVersion(argc, argv, "trimwell-records", kUsage, std::cout)) return 0;
  std::string records, settingsFolder;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--records" || arg == "--settings") && i + 1 >= argc) return badUse(arg + " needs a value");
    if (arg == "--records") {
      records = argv[++i];
    } else if (arg == "--settings") {
      settingsFolder = argv[++i];
    } else {
      rest.push_back(arg);
    }
  }
  if (rest.empty()) return badUse("no command");
  if (const std::string refused = trimwell::PostgresRecordStore::givenLocationProblem(records); !refused.empty()) {
    return badUse(refused);
  }
  // A settings folder mistyped would read as a lab with nothing set, and be made.
  if (std::error_code error; !settingsFolder.empty() && !std::filesystem::is_directory(settingsFolder, error)) {
    return refused("there is no settings folder " + settingsFolder);
  }
  const std::string settingsPath = settingsFile(settingsFolder);
  trimwell::QSettingsRegistry settings(settingsPath);
  const trimwell::Laboratory lab = trimwell::Laboratory::load(settings);
  if (rest.front() == "send-waiting") {
    if (records.empty()) return badUse("--records URL is needed");
    return sendWaitingCommand(records, {rest.begin() + 1, rest.end()}, lab.storeCaFile);
  }
  if (rest.front() == "init-lab") {
    if (records.empty()) return badUse("--records URL is needed");
    return initLabCommand(records, {rest.begin() + 1, rest.end()}, lab);
  }
  if (rest.front() == "verify") {
    if (records.empty()) return badUse("--records FILE|URL is needed");
    return verifyCommand(records, {rest.begin() + 1, rest.end()}, lab.storeCaFile);
  }
  const auto command = kCommands.find(rest.front());
  if (command == kCommands.end()) return badUse("unknown command " + rest.front());
  if (records.empty()) return badUse("--records FILE|URL is needed");
  std::string problem;
  // Only what issues a document or a signature appends to the store; the rest read it.
  const bool appends = rest.front() == "certificate" || rest.front() == "dcc" || rest.front() == "report" ||
                       rest.front() == "sign";
  const std::unique_ptr<trimwell::RecordStore> store = openStore(
      records, appends ? trimwell::StoreAccess::Append : trimwell::StoreAccess::Read, lab.storeCaFile, problem);
  if (store == nullptr) return refused(problem);
  Context context{*store, settings, {rest.begin() + 1, rest.end()}, settingsPath};
  return command->second(context);
}
