#include "platform/pam_password.h"

#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace trimwell {
namespace {

// Answers every question PAM asks without echo with the password, and takes its
// messages in silence. PAM frees what it is given, so the answers are malloc'd.
int answerWithPassword(int count, const pam_message** messages, pam_response** responses, void* data) {
  if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
  auto* answers = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
  if (answers == nullptr) return PAM_BUF_ERR;
  const auto* password = static_cast<const std::string*>(data);
  for (int i = 0; i < count; ++i) {
    const int style = messages[i]->msg_style;
    if (style == PAM_PROMPT_ECHO_OFF || style == PAM_PROMPT_ECHO_ON) {
      answers[i].resp = strdup(password->c_str());
      if (answers[i].resp == nullptr) {
        for (int j = 0; j < i; ++j) std::free(answers[j].resp);
        std::free(answers);
        return PAM_BUF_ERR;
      }
    }
  }
  *responses = answers;
  return PAM_SUCCESS;
}

std::string refusal(int code) {
  switch (code) {
    case PAM_AUTH_ERR:
    case PAM_USER_UNKNOWN:
      return "the password is not right";
    case PAM_ACCT_EXPIRED:
      return "the account has expired";
    case PAM_NEW_AUTHTOK_REQD:
      return "the password has expired and must be changed first";
    case PAM_PERM_DENIED:
      return "the account may not sign here now";
    case PAM_MAXTRIES:
      return "too many tries";
    case PAM_AUTHINFO_UNAVAIL:
      return "the password cannot be checked now (the system's password service does not answer)";
    default:
      return "PAM refused it";
  }
}

}  // namespace

bool checkPassword(const std::string& login, const std::string& password, std::string& problem) {
  if (login.empty()) {
    problem = "no login to sign as";
    return false;
  }
  std::string copy = password;
  pam_conv conversation{answerWithPassword, &copy};
  pam_handle_t* pam = nullptr;
  int code = pam_start(kPamService, login.c_str(), &conversation, &pam);
  if (code == PAM_SUCCESS) code = pam_authenticate(pam, PAM_DISALLOW_NULL_AUTHTOK);
  if (code == PAM_SUCCESS) code = pam_acct_mgmt(pam, PAM_DISALLOW_NULL_AUTHTOK);
  if (pam != nullptr) pam_end(pam, code);
  explicit_bzero(copy.data(), copy.size());
  if (code == PAM_SUCCESS) return true;
  problem = refusal(code);
  return false;
}

std::vector<std::string> groupsOf(const std::string& login) {
  const passwd* user = getpwnam(login.c_str());
  if (user == nullptr) return {};
  const gid_t gid = user->pw_gid;
  std::vector<gid_t> ids(64);
  int count = static_cast<int>(ids.size());
  if (getgrouplist(login.c_str(), gid, ids.data(), &count) < 0) {
    ids.resize(static_cast<std::size_t>(count));
    if (getgrouplist(login.c_str(), gid, ids.data(), &count) < 0) count = 0;
  }
  ids.resize(static_cast<std::size_t>(count));
  std::vector<std::string> names;
  for (gid_t id : ids) {
    if (const group* g = getgrgid(id); g != nullptr && g->gr_name != nullptr) names.emplace_back(g->gr_name);
  }
  return names;
}

std::string primaryGroup() {
  const group* g = getgrgid(getegid());
  return g != nullptr && g->gr_name != nullptr ? g->gr_name : "";
}

}  // namespace trimwell
