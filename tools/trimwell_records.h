#pragma once
// trimwell-records: the station's records for the lab's people and scripts, read
// from the station's SQLite file or the lab's PostgreSQL store. Nothing here
// changes a record: sign appends a signature, and send-waiting moves a station's
// waiting records, as they are, to the lab's store. Each command answers an exit status: 0 done, 1 not found
// or refused, 2 bad use; messages go to standard error, data to standard output.

#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "documents/laboratory.h"
#include "records/postgres_record_store.h"
#include "records/record_store.h"

namespace trimwell::tool {

enum Exit { kDone = 0, kRefused = 1, kBadUse = 2 };

// What a command is given: the store, the station's settings and its own arguments.
struct Context {
  RecordStore& store;
  Registry& settings;
  std::vector<std::string> args;  // after the command's name
  std::string settingsFile;  // where `settings` come from, for the messages that name it
};

// Which records list and export take.
struct Filter {
  std::string unit;
  int model = 0;  // 0: every model
  std::string since;  // YYYY-MM-DD, or empty
};

// The store named by an SQLite file or a PostgreSQL URL, read or appended to as
// it stands; null, with the reason, when a file is not there (it is never made),
// cannot be opened or is not a records file.
// The lab's server at url, its certificate checked against caFile (else the
// system's store); a URL that lowers the check is said on standard error.
std::unique_ptr<PostgresRecordStore> labServer(const std::string& url, StoreAccess access, const std::string& caFile);
// caFile: the lab's CA certificate for its server (empty: the system's store).
std::unique_ptr<RecordStore> openStore(const std::string& where, StoreAccess access, const std::string& caFile,
                                       std::string& problem);

// Takes --unit, --model and --since out of args; false, saying why, for a model or
// date that is none.
bool takeFilter(std::vector<std::string>& args, Filter& filter, std::string& problem);
// The summaries the filter takes, newest first.
bool filtered(RecordStore& store, const Filter& filter, std::vector<RecordSummary>& out);
// A record by its number or identity; false with the store's reason.
bool findRecord(RecordStore& store, const std::string& idOrUuid, CalibrationRecord& out, std::string& problem);
// A whole non-negative number, or false.
bool parseCount(const std::string& text, long long& out);

int listCommand(Context& c);
int showCommand(Context& c);
int exportCommand(Context& c);
int dueCommand(Context& c);
int certificateCommand(Context& c);
int dccCommand(Context& c);
// Signs a record as the process's user, who gives login and password.
int signCommand(Context& c);
// Sends the outbox (--outbox FILE, else the station's own) to the lab's store at url.
int sendWaitingCommand(const std::string& url, std::vector<std::string> args, const std::string& caFile);
// Walks the audit trail of the SQLite file and each record's hash: 0 whole, 1 not.
int reportCommand(Context& c);
// Sets up the lab's store; a store with no signing rules in force yet gets `lab`'s
// (the settings' laboratory, or the defaults), so no first signer brings their own.
int initLabCommand(const std::string& url, const std::vector<std::string>& args, const Laboratory& lab);
int verifyCommand(const std::string& file, const std::vector<std::string>& args, const std::string& caFile);

// Writes text to the file, or to standard output for "-"; false, saying why.
bool writeOut(const std::string& path, const std::string& text, std::string& problem);
// Messages and their exit status.
int refused(const std::string& problem);
int badUse(const std::string& problem);

}  // namespace trimwell::tool
