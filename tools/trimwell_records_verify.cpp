// verify: a records file's or the lab store's audit trail walked entry by entry, and every record's
// content hash against the last entry about it.
#include <filesystem>
#include <iostream>

#include "records/postgres_append_only.h"
#include "records/postgres_record_store.h"
#include "records/sqlite_record_store.h"
#include "tools/trimwell_records.h"

namespace trimwell::tool {

int verifyCommand(const std::string& file, const std::vector<std::string>& args, const std::string& caFile) {
  std::string keptHead;
  if (args.size() == 2 && args[0] == "--head") {
    keptHead = args[1];
  } else if (!args.empty()) {
    return badUse("verify takes only --head HASH");
  }
  // An empty head would check nothing: it is refused as any other that is no head.
  if (!args.empty() && (keptHead.size() < signing::kShortestKeptHead || keptHead.size() > 64 ||
                        keptHead.find_first_not_of("0123456789abcdef") != std::string::npos)) {
    return badUse("--head takes a head of 16 to 64 lower-case hex digits, as a certificate prints it");
  }
  signing::ChainCheck check;
  std::string shown = file;
  if (PostgresRecordStore::isUrl(file)) {
    shown = PostgresRecordStore::shownUrl(file);
    check = labServer(file, StoreAccess::Read, caFile)->verify(keptHead);
  } else {
    SqliteRecordStore store(file, StoreAccess::Read);
    if (!store.isOpen()) return refused(store.problem());
    if (!store.notice().empty()) std::cerr << "trimwell-records: " << store.notice() << "\n";
    check = store.verify(keptHead);
  }
  if (!check.ok) return refused(shown + ": " + check.problem);
  std::cout << check.entries << " audit entries and " << check.records << " records checked: the chain is whole"
            << (keptHead.empty() ? "" : " and holds the head " + keptHead) << "\n"
            << "head " << check.head << "\n";
  return kDone;
}

}  // namespace trimwell::tool

namespace trimwell::tool {

int initLabCommand(const std::string& url, const std::vector<std::string>& args, const Laboratory& lab) {
  if (!args.empty()) return badUse("init-lab takes nothing but --records URL");
  if (!PostgresRecordStore::isUrl(url)) return badUse("init-lab sets up the lab's store: --records takes its URL");
  const std::unique_ptr<PostgresRecordStore> server = labServer(url, StoreAccess::Keep, lab.storeCaFile);
  PostgresRecordStore& store = *server;
  if (!store.initLab()) {
    const bool rights = store.fault() == StoreFault::RefusesStation;
    return refused(store.problem() + (rights ? " (init-lab runs as a role that may make roles, such as the server's "
                                               "postgres, not as a station's login)"
                                             : ""));
  }
  std::string inForce;
  const std::string rules = signing::rulesText(signingPolicy(lab));
  if (!store.lastStationEvent(signing::kRulesInForceEvent, inForce) ||
      (inForce.empty() && !store.noteStationEvent(signing::kRulesInForceEvent, "", rules))) {
    return refused("the store is set up, but its signing rules could not be entered: " + store.problem());
  }
  std::cout << "The lab's store at " << PostgresRecordStore::shownUrl(url) << " is ready: the role " << kLabOwnerRole
            << " holds its tables, the role " << kLabStationRole
            << " may only read and append.\nGive each station a login of its own in that role, e.g.\n"
               "  CREATE ROLE bench1 LOGIN PASSWORD '...' IN ROLE "
            << kLabStationRole << ";\n";
  return kDone;
}

}  // namespace trimwell::tool
