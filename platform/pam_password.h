#pragma once
// A person's password checked through PAM (service "trimwell"), as a signature
// asks for it: pam_authenticate, then pam_acct_mgmt, so that an expired account or
// password is refused as a wrong password is. A desktop process can check only
// its own user's password (pam_unix's unix_chkpwd), so the login is the
// process's. Nothing of the password is kept: it is handed to PAM's conversation
// and the copy made for it is wiped.

#include <string>
#include <vector>

namespace trimwell {

inline constexpr const char* kPamService = "trimwell";

// True when PAM takes the password for `login` and the account may be used now;
// else false and why, in words fit for the signer ("the password is not right").
bool checkPassword(const std::string& login, const std::string& password, std::string& problem);

// The names of the groups `login` belongs to now, as the group database has them
// (its primary group first); none for a login the user database does not know.
std::vector<std::string> groupsOf(const std::string& login);
// The process user's primary group's name, or empty.
std::string primaryGroup();

}  // namespace trimwell
