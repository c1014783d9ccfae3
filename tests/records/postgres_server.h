#pragma once
// A PostgreSQL server of the test's own: initdb and pg_ctl in a temporary folder,
// reached through a Unix socket there only. Run as the `postgres` user when the
// test runs as root, which PostgreSQL refuses to be.

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
  // Stops at once, as a server that crashed or lost power would.
  bool stop();
  bool start();

 private:
  bool run(const std::string& command);

  std::string folder_;
  std::string asServerUser_;
  std::string problem_;
  bool running_ = false;
};

}  // namespace trimwell::test
