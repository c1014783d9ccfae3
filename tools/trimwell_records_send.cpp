// send-waiting: the records that wait in a station's outbox, sent to the lab's
// store from a shell (a timer, or before a station is taken out of use).
#include <filesystem>
#include <iostream>

#include "platform/default_paths.h"
#include "platform/qt/qsettings_registry.h"
#include "records/lab_record_store.h"
#include "records/postgres_record_store.h"
#include "tools/trimwell_records.h"

namespace trimwell::tool {
namespace {

constexpr int kRounds = 20;
constexpr std::chrono::seconds kRoundWait{60};

std::string defaultOutbox() {
  return defaultPaths(StationProgram::Station, QSettingsRegistry::defaultFolder()).recordsOutbox;
}

}  // namespace

int sendWaitingCommand(const std::string& url, std::vector<std::string> args, const std::string& caFile) {
  std::string outbox = defaultOutbox();
  if (args.size() == 2 && args[0] == "--outbox") {
    outbox = args[1];
  } else if (!args.empty()) {
    return badUse("send-waiting takes only --outbox FILE");
  }
  if (!PostgresRecordStore::isUrl(url)) return badUse("send-waiting sends to the lab's store: --records takes its URL");
  std::error_code error;
  // Opening would make a missing file: a mistyped name is said so, not sent as empty.
  if (!std::filesystem::is_regular_file(outbox, error)) return refused("there is no outbox " + outbox);
  auto file = std::make_unique<SqliteRecordStore>(outbox);
  if (!file->isOpen()) return refused(file->problem());
  LabRecordStore store(labServer(url, StoreAccess::Keep, caFile), std::move(file));
  const std::size_t before = store.waiting();
  bool emptied = before == 0;
  for (int round = 0; round < kRounds && !emptied; ++round) {
    emptied = store.sendNow(kRoundWait);
    if (!emptied && store.labFault() != StoreFault::None) break;
  }
  for (const std::string& note : store.takeNotes()) std::cerr << "trimwell-records: " << note << "\n";
  const std::size_t left = store.waiting();
  const std::size_t sent = before > left ? before - left : 0;
  std::cout << sent << (sent == 1 ? " record" : " records") << " sent to the lab's store; " << left
            << (left == 1 ? " waits" : " wait") << " on this station\n";
  if (left == 0) return kDone;
  const std::string why = store.labProblem();
  return refused(std::to_string(left) + (left == 1 ? " record waits" : " records wait") + " in " + outbox +
                 (why.empty() ? std::string() : ": " + why));
}

}  // namespace trimwell::tool
