#include "records/postgres_server.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/free_port.h"

namespace trimwell::test {
namespace {

constexpr const char* kBin = "/usr/lib/postgresql/15/bin/";

int serverPort() {
  const int free = freeLoopbackPort();
  return free != 0 ? free : 5433;
}

}  // namespace

PostgresServer::PostgresServer() : port_(serverPort()) {
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
  return "postgresql://postgres@/postgres?host=" + folder_ + "&port=" + std::to_string(port_);
}

std::string PostgresServer::url(const std::string& user, const std::string& password,
                                const std::string& database) const {
  return "postgresql://" + user + (password.empty() ? "" : ":" + password) + "@/" + database + "?host=" + folder_ +
         "&port=" + std::to_string(port_);
}

bool PostgresServer::sql(const std::string& statements) {
  PGconn* c = PQconnectdb(url().c_str());
  const std::string quiet = "SET client_min_messages = warning;" + statements;
  PGresult* r = PQstatus(c) == CONNECTION_OK ? PQexec(c, quiet.c_str()) : nullptr;
  const ExecStatusType status = r != nullptr ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  if (!ok) problem_ = PQerrorMessage(c);
  PQclear(r);
  PQfinish(c);
  return ok;
}

pid_t PostgresServer::postmaster() const {
  std::ifstream file(folder_ + "/data/postmaster.pid");
  pid_t pid = 0;
  file >> pid;
  return pid;
}

// The postmaster and its children: the sessions, the writer, the checkpointer...
bool PostgresServer::signalAll(int signal) {
  const pid_t parent = postmaster();
  if (parent <= 0 || kill(parent, signal) != 0) return false;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    char state = 0;
    pid_t ppid = 0;
    rest >> state >> ppid;
    if (ppid == parent) kill(std::stoi(entry.path().filename().string()), signal);
  }
  return true;
}

bool PostgresServer::pause() { return signalAll(SIGSTOP); }
bool PostgresServer::resume() { return signalAll(SIGCONT); }

bool PostgresServer::requirePassword(const std::string& role) {
  const std::string hba = folder_ + "/data/pg_hba.conf";
  std::stringstream old;
  old << std::ifstream(hba).rdbuf();
  std::ofstream(hba, std::ios::trunc) << "local all " << role << " scram-sha-256\n" << old.str();
  // A restart rather than a reload, which the server takes in its own time.
  return stop() && start();
}

int PostgresServer::port() const { return port_; }

bool PostgresServer::useTls(const std::string& certificate, const std::string& key) {
  const std::string data = folder_ + "/data/";
  std::filesystem::copy_file(certificate, data + "server.crt", std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy_file(key, data + "server.key", std::filesystem::copy_options::overwrite_existing);
  // The server refuses a key that others may read.
  const std::string files = data + "server.crt " + data + "server.key";
  if ((!asServerUser_.empty() && std::system(("chown postgres " + files).c_str()) != 0) ||
      !run("chmod 600 " + data + "server.key")) {
    problem_ = "cannot hand the server its key";
    return false;
  }
  tlsOptions_ = " -c listen_addresses=127.0.0.1 -c ssl=on";
  return stop() && start();
}

bool PostgresServer::start() {
  // pg_ctl -w returns once the server takes connections.
  const std::string listening = tlsOptions_.empty() ? " -c listen_addresses=" : tlsOptions_;
  running_ = run(std::string(kBin) + "pg_ctl -w -s -D " + folder_ + "/data -l " + folder_ + "/server.log -o \"-k " +
                 folder_ + listening + " -p " + std::to_string(port_) + " -c fsync=off\" start");
  if (!running_) problem_ = "the server did not start, see " + folder_ + "/server.log";
  return running_;
}

bool PostgresServer::stop() {
  const bool stopped = run(std::string(kBin) + "pg_ctl -w -s -D " + folder_ + "/data -m immediate stop");
  if (stopped) running_ = false;
  return stopped;
}

}  // namespace trimwell::test
