#pragma once
// What the station reads from a PostgreSQL URL or keyword string before libpq is
// given it: its passwords, to mask them in every message, and how the connection
// is to be made safe.

#include <string>
#include <vector>

namespace trimwell {

// The passwords the text holds, as written (a bad %-escape and all) and as libpq
// decodes them; none when it holds none.
std::vector<std::string> passwordsIn(const std::string& url);

// The TLS settings the station gives libpq ahead of the URL's own. Empty sslmode:
// none (the server is reached over a Unix socket).
struct TlsSettings {
  std::string sslmode;
  std::string rootCertificate;  // the lab's CA file, else the system's store
  std::string urlSslmode;  // the URL's own, which wins; empty when it has none
};
TlsSettings tlsSettings(const std::string& url, const std::string& caFile);

// The system's store of trusted certificate authorities.
inline constexpr const char* kSystemCaFile = "/etc/ssl/certs/ca-certificates.crt";

}  // namespace trimwell
