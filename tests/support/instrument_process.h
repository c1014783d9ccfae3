#pragma once
// The stand-alone SCPI meter of the client's tests (scpi_test_instrument) as a
// process of its own: started with its options, waited for until it says it can
// be reached, and stopped (killed) when the test wants it gone.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace trimwell::test {

class InstrumentProcess {
 public:
  InstrumentProcess() = default;
  ~InstrumentProcess() { stop(); }
  InstrumentProcess(const InstrumentProcess&) = delete;
  InstrumentProcess& operator=(const InstrumentProcess&) = delete;

  // False when it did not start or did not say "ready".
  bool start(const std::vector<std::string>& options) {
    stop();
    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> words{TRIMWELL_SCPI_TEST_INSTRUMENT};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
      close(out[0]);
      pid_ = -1;
      return false;
    }
    // Its first line says it listens: read blocks until then (or until it dies).
    char said[6] = {};
    std::size_t got = 0;
    while (got < 5) {
      const ssize_t n = read(out[0], said + got, 5 - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    close(out[0]);
    return std::string(said) == "ready";
  }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace trimwell::test
