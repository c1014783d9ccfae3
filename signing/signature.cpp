#include "signing/signature.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <map>

#include "signing/canonical_form.h"
#include "signing/sha256.h"

namespace trimwell::signing {
namespace {

constexpr std::array<const char*, 4> kMeaningNames = {"performed", "reviewed", "approved", "amended"};

bool has(const std::vector<Signature>& signatures, Meaning meaning) {
  return std::any_of(signatures.begin(), signatures.end(), [&](const Signature& s) { return s.meaning == meaning; });
}

const Signature* firstWith(const std::vector<Signature>& signatures, Meaning meaning) {
  const auto it =
      std::find_if(signatures.begin(), signatures.end(), [&](const Signature& s) { return s.meaning == meaning; });
  return it == signatures.end() ? nullptr : &*it;
}

// What must come before `meaning`, and what may not have come yet.
std::string orderProblem(const std::vector<Signature>& existing, Meaning meaning) {
  const bool performed = has(existing, Meaning::Performed) || has(existing, Meaning::Amended);
  switch (meaning) {
    case Meaning::Performed:
    case Meaning::Amended:
      if (performed) return "the record is signed as performed already";
      return {};
    case Meaning::Reviewed:
      if (!performed) return "a record is reviewed only after it is signed as performed (an amendment as amended)";
      if (has(existing, Meaning::Reviewed)) return "the record is reviewed already";
      return {};
    case Meaning::Approved:
      if (!has(existing, Meaning::Reviewed)) return "a record is approved only after it is reviewed";
      if (has(existing, Meaning::Approved)) return "the record is approved already";
      return {};
  }
  return "the meaning is none of performed, reviewed, approved or amended";
}

}  // namespace

const char* meaningName(Meaning meaning) { return kMeaningNames[static_cast<std::size_t>(meaning)]; }

std::optional<Meaning> meaningFromName(const std::string& name) {
  for (std::size_t i = 0; i < kMeaningNames.size(); ++i) {
    if (name == kMeaningNames[i]) return static_cast<Meaning>(i);
  }
  return std::nullopt;
}

std::vector<std::uint8_t> canonicalSignature(const Signature& s) {
  CanonicalWriter w("trimwell signature", kSignatureFormVersion);
  w.text(s.recordUuid);
  w.text(s.recordHash);
  w.integer(s.uid);
  w.text(s.login);
  w.text(s.printedName);
  w.count(s.groups.size());
  for (const std::string& group : s.groups) w.text(group);
  w.text(meaningName(s.meaning));
  w.text(s.reason);
  w.text(s.utcTime);
  return w.written();
}

std::string signatureHash(const Signature& signature) { return sha256Hex(canonicalSignature(signature)); }

std::string signerLine(const std::string& login, long long uid) {
  return "signer " + login + " (UID " + std::to_string(uid) + ")";
}

std::string signedDetails(const Signature& s) {
  return signerLine(s.login, s.uid) + "\nsignature " + signatureHash(s) + "\n" + meaningName(s.meaning) +
         (s.reason.empty() ? "" : ": " + s.reason);
}

namespace {

std::string lineOf(const std::string& text, std::size_t index) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < index && at != std::string::npos; ++i) {
    at = text.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  if (at == std::string::npos) return {};
  return text.substr(at, text.find('\n', at) - at);
}

bool refuse(ChainCheck& check, std::string problem) {
  check.ok = false;
  check.problem = std::move(problem);
  return false;
}

}  // namespace

bool signaturesMatchTrail(const std::vector<AuditEntry>& entries, const std::vector<KeptSignature>& kept,
                          ChainCheck& check) {
  std::map<std::string, const AuditEntry*> named;
  for (const AuditEntry& e : entries) {
    if (e.event == kSignedEvent) named[lineOf(e.details, 1).substr(std::string("signature ").size())] = &e;
  }
  for (const KeptSignature& k : kept) {
    const std::string meaning = meaningName(k.signature.meaning);
    const std::string at = (meaning.front() == 'a' ? "an " : "a ") + meaning + " signature of record " +
                           k.signature.recordUuid + " by " + k.signature.login;
    // One no entry names was never given here; one named but not as kept was changed.
    if (named.erase(k.keptHash) == 0) return refuse(check, at + " is named by no audit entry: it was not given here");
    if (signatureHash(k.signature) != k.keptHash) return refuse(check, at + " was changed after it was given");
  }
  if (!named.empty()) {
    const AuditEntry& e = *named.begin()->second;
    return refuse(check, "the signature that audit entry " + std::to_string(e.sequence) + " names, of record " +
                             e.recordUuid + ", is missing");
  }
  return true;
}

std::vector<std::string> failuresSinceSuccess(const std::vector<AuditEntry>& entries, const std::string& signer) {
  std::vector<std::string> failures;
  for (const AuditEntry& e : entries) {
    if (e.details.find("\n" + std::string(kApprovedBy) + signer + ",") != std::string::npos) failures.clear();
    if (lineOf(e.details, 0) != signer) continue;
    if (e.event == kSignedEvent) failures.clear();
    if (e.event == kSigningFailedEvent) failures.push_back(e.benchTime);
  }
  return failures;
}

namespace {

std::vector<std::pair<std::string, std::string>> ruleLines(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t colon = line.find(": ");
    if (colon != std::string::npos) lines.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string rulesText(const SigningPolicy& p) {
  return "operators: " + p.roles.operators + "\nreviewers: " + p.roles.reviewers + "\napprovers: " +
         p.roles.approvers + "\nfour-eyes: " + (p.fourEyes ? "yes" : "no") +
         "\nlockout-tries: " + std::to_string(p.lockoutTries) +
         "\nlockout-minutes: " + std::to_string(p.lockoutTime.count()) +
         "\napproval-required: " + (p.approvalRequired ? "yes" : "no");
}

bool parseRules(const std::string& text, SigningPolicy& policy) {
  SigningPolicy read;
  std::size_t found = 0;
  for (const auto& [name, value] : ruleLines(text)) {
    const int number = std::atoi(value.c_str());
    if (name == "operators") read.roles.operators = value;
    else if (name == "reviewers") read.roles.reviewers = value;
    else if (name == "approvers") read.roles.approvers = value;
    else if (name == "four-eyes") read.fourEyes = value != "no";
    else if (name == "lockout-tries" && number > 0) read.lockoutTries = number;
    else if (name == "lockout-minutes" && number > 0) read.lockoutTime = std::chrono::minutes(number);
    else if (name == "approval-required") read.approvalRequired = value != "no";
    else continue;
    ++found;
  }
  if (found != 7 || rulesText(read) != text) return false;
  policy = read;
  return true;
}

std::string rulesDiffering(const std::string& a, const std::string& b) {
  const auto left = ruleLines(a), right = ruleLines(b);
  std::string names;
  for (const auto& [name, value] : left) {
    const auto same = std::find(right.begin(), right.end(), std::pair{name, value});
    if (same == right.end()) names += (names.empty() ? "" : ", ") + name;
  }
  return names.empty() ? "their form" : names;
}

const std::string& groupFor(Meaning meaning, const RoleGroups& roles) {
  if (meaning == Meaning::Reviewed) return roles.reviewers;
  if (meaning == Meaning::Approved) return roles.approvers;
  return roles.operators;
}

std::string signingProblem(const std::vector<Signature>& existing, const Signature& next, const SigningPolicy& policy,
                           bool recordAmends) {
  const bool reasoned = next.reason.find_first_not_of(" \t\r\n") != std::string::npos;
  if (next.meaning == Meaning::Amended) {
    if (!recordAmends) return "Only an amendment of an earlier record is signed as amended; this record amends none";
    if (!reasoned) return "An amendment needs its reason";
  } else if (reasoned) {
    return "A reason goes with an amendment only; a record is signed as performed, reviewed or approved without one";
  }
  if (next.meaning == Meaning::Performed && recordAmends) {
    return "An amendment is signed as amended, with its reason, not as performed";
  }
  const std::string& group = groupFor(next.meaning, policy.roles);
  if (std::find(next.groups.begin(), next.groups.end(), group) == next.groups.end()) {
    return next.login + " may not sign as " + meaningName(next.meaning) + ": that needs the group " + group;
  }
  for (const Signature& s : existing) {
    if (s.recordHash != next.recordHash) {
      return "The record is not the version signed before (its content hash differs): it changed after it was "
             "signed";
    }
  }
  if (std::string order = orderProblem(existing, next.meaning); !order.empty()) {
    return "The record cannot be signed as " + std::string(meaningName(next.meaning)) + ": " + order;
  }
  if (next.meaning == Meaning::Approved && policy.fourEyes) {
    const Signature* performer = firstWith(existing, Meaning::Performed);
    if (performer == nullptr) performer = firstWith(existing, Meaning::Amended);
    if (performer != nullptr && performer->uid == next.uid) {
      return "The lab asks for four eyes: " + next.login +
             (performer->meaning == Meaning::Amended ? " amended this record" : " performed this calibration") +
             " and may not approve it";
    }
  }
  return {};
}

bool approved(const std::vector<Signature>& existing) { return has(existing, Meaning::Approved); }

namespace {

std::chrono::system_clock::time_point utcTimePoint(const std::string& iso) {
  std::tm parts{};
  if (std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                  &parts.tm_hour, &parts.tm_min, &parts.tm_sec) != 6) {
    return {};
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return std::chrono::system_clock::from_time_t(timegm(&parts));
}

}  // namespace

std::optional<std::chrono::system_clock::time_point> lockedUntil(const std::vector<std::string>& failureTimes,
                                                                 const SigningPolicy& policy) {
  const auto tries = static_cast<std::size_t>(std::max(policy.lockoutTries, 1));
  // Each run of `tries` failures locks from its last; the count starts anew after a lock.
  std::optional<std::chrono::system_clock::time_point> until;
  std::size_t inRow = 0;
  for (const std::string& time : failureTimes) {
    if (++inRow < tries) continue;
    until = utcTimePoint(time) + policy.lockoutTime;
    inRow = 0;
  }
  return until;
}

bool SigningSession::needsLogin(std::chrono::steady_clock::time_point now) const {
  return !last_ || now - *last_ >= kIdle;
}

}  // namespace trimwell::signing
