#pragma once
// A PostgreSQL server of the test's own: initdb and pg_ctl in a temporary folder,
// reached through a Unix socket there only. Run as the `postgres` user when the
// test runs as root, which PostgreSQL refuses to be.

#include <sys/types.h>

#include <string>

namespace trimwell::test {

class PostgresServer {
 public:
  PostgresServer();
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  bool running() const { return running_; }
  const std::string& problem() const { return problem_; }
  std::string url() const;
  std::string url(const std::string& user, const std::string& password, const std::string& database = "postgres") const;
  // Runs SQL as the server's superuser; false (with problem()) when it fails.
  bool sql(const std::string& statements);
  // Stops at once, as a server that crashed or lost power would.
  bool stop();
  bool start();
  // Freezes (SIGSTOP) the server and every session it runs, as a hung host would,
  // and thaws them again.
  bool pause();
  bool resume();
  // The role must give its password (SCRAM) from now on.
  bool requirePassword(const std::string& role);
  // Restarts listening on the loopback address too, with TLS by this certificate
  // and key (PEM files), at port(); the socket stays as it was.
  bool useTls(const std::string& certificate, const std::string& key);
  int port() const;

 private:
  bool run(const std::string& command);
  bool signalAll(int signal);
  pid_t postmaster() const;

  std::string folder_;
  std::string asServerUser_;
  std::string problem_;
  std::string tlsOptions_;
  int port_;
  bool running_ = false;
};

}  // namespace trimwell::test
