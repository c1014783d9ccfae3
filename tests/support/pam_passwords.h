#pragma once
// The passwords PAM checks in a test: a pam_matrix password file of the test's
// own, which the suite's pam_wrapper service reads through PAM_MATRIX_PASSWD. The
// process's own login gets `password` for the service "trimwell"; an account
// allowed another service only stands for one PAM's account step refuses.

#include <cstdlib>
#include <string>

#include "platform/pam_password.h"
#include "records/calibration_record.h"
#include "support/temp_dir.h"

namespace trimwell::test {

class PamPasswords {
 public:
  explicit PamPasswords(const std::string& password, const std::string& service = kPamService) {
    folder_.write("passdb", currentPerson().login + ":" + password + ":" + service + "\n");
    setenv("PAM_MATRIX_PASSWD", folder_.file("passdb").c_str(), 1);
  }
  ~PamPasswords() { unsetenv("PAM_MATRIX_PASSWD"); }
  PamPasswords(const PamPasswords&) = delete;
  PamPasswords& operator=(const PamPasswords&) = delete;
  std::string file() const { return folder_.file("passdb"); }

 private:
  TempDir folder_;
};

}  // namespace trimwell::test
