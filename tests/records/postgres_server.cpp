#include "records/postgres_server.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace trimwell::test {
namespace {

constexpr const char* kBin = "/usr/lib/postgresql/15/bin/";
constexpr int kPort = 5433;

}  // namespace

PostgresServer::PostgresServer() {
  char pattern[] = "/tmp/trimwell-pg-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    problem_ = "cannot make a folder";
    return;
  }
  folder_ = pattern;
  if (!std::filesystem::exists(std::string(kBin) + "initdb")) {
    problem_ = std::string(kBin) + "initdb is not there (Debian package postgresql)";
    return;
  }
  if (geteuid() == 0) {
    const passwd* server = getpwnam("postgres");
    if (server == nullptr || chown(folder_.c_str(), server->pw_uid, server->pw_gid) != 0) {
      problem_ = "no user postgres to run the server as";
      return;
    }
    asServerUser_ = "runuser -u postgres -- ";
  }
  if (!run(std::string(kBin) + "initdb -A trust -U postgres -D " + folder_ + "/data > " + folder_ + "/initdb.log 2>&1")) {
    problem_ = "initdb failed, see " + folder_ + "/initdb.log";
    return;
  }
  start();
}

PostgresServer::~PostgresServer() {
  if (running_) stop();
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

bool PostgresServer::run(const std::string& command) { return std::system((asServerUser_ + command).c_str()) == 0; }

std::string PostgresServer::url() const {
  return "postgresql://postgres@/postgres?host=" + folder_ + "&port=" + std::to_string(kPort);
}

bool PostgresServer::start() {
  // pg_ctl -w returns once the server takes connections.
  running_ = run(std::string(kBin) + "pg_ctl -w -s -D " + folder_ + "/data -l " + folder_ + "/server.log -o \"-k " +
                 folder_ + " -c listen_addresses= -p " + std::to_string(kPort) + " -c fsync=off\" start");
  if (!running_) problem_ = "the server did not start, see " + folder_ + "/server.log";
  return running_;
}

bool PostgresServer::stop() {
  const bool stopped = run(std::string(kBin) + "pg_ctl -w -s -D " + folder_ + "/data -m immediate stop");
  if (stopped) running_ = false;
  return stopped;
}

}  // namespace trimwell::test
