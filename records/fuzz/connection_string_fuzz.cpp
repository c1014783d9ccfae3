// libFuzzer target: a Records setting or --records value as typed, a URL or a
// keyword string or a file's name: told apart, masked and read for its TLS
// settings without libpq ever connecting. No masked text may hold a password.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "records/postgres_connection.h"
#include "records/postgres_record_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  (void)trimwell::PostgresRecordStore::isUrl(url);
  const std::string shown = trimwell::PostgresRecordStore::shownUrl(url);
  for (const std::string& password : trimwell::passwordsIn(url)) {
    // A "password" of stars could be made anew by the masks themselves.
    if (password.size() > 3 && password.find('*') == std::string::npos && shown.find(password) != std::string::npos) {
      std::abort();
    }
  }
  (void)trimwell::tlsSettings(url, "/nonexistent/ca.crt");
  return 0;
}
