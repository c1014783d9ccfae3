#pragma once
// A reference instrument's side of the bench, spoken in SCPI over a text line:
// *IDN? for who it is (IEEE 488.2: maker, model, serial, firmware), a measurement
// query (READ?, MEAS? or FETC?) for a reading, and SYST:ERR? after each reading,
// whose error refuses it. An answer that does not come within the timeout is a
// fault of its own; the answer that comes late is never taken for a later query:
// the next query first resynchronises the line on the instrument's *IDN? answer.

#include <string>
#include <string_view>

#include "platform/instrument_line.h"

namespace trimwell {

struct InstrumentIdentity {
  std::string maker;
  std::string model;
  std::string serial;
  std::string firmware;
  bool operator==(const InstrumentIdentity&) const = default;
  // "MAKER MODEL, serial SERIAL, firmware FIRMWARE".
  std::string text() const;
};

// Reads an *IDN? answer: four fields parted by commas, none of them empty but the
// firmware. False for anything else.
bool parseIdentity(std::string_view answer, InstrumentIdentity& identity);

enum class ReadingFault { None, Silent, NotANumber, NotFinite, InstrumentError, Gone };

// A fault in a few words: "does not answer", "answered no number", ...
const char* faultWords(ReadingFault fault);

// Reads a reading in SCPI's decimal forms (NR1, NR2, NR3: "20", "+20.013",
// "2.0013E+01") with a point whatever the locale. False for anything else. SCPI's
// 9.91E37 (not a number) and ±9.9E37 (overflow) read as NaN and infinities.
bool parseScpiNumber(std::string_view answer, double& value);

class ScpiClient {
 public:
  ScpiClient(InstrumentLine& line, int timeoutMs) : line_(line), timeoutMs_(timeoutMs) {}

  // Asks *IDN?; clears the instrument's status (*CLS) once it answers.
  ReadingFault identify(InstrumentIdentity& identity, std::string& problem);
  // Asks query for a reading and SYST:ERR? after it; value is the reading times
  // scale, set only when the answer is None.
  ReadingFault read(const std::string& query, double scale, double& value, std::string& problem);

 private:
  // Sends command and reads its one-line answer.
  ReadingFault ask(const std::string& command, std::string& answer, std::string& problem);
  // After an unanswered query: drops what came, asks *IDN? and skips every line
  // until its answer, so that a late answer is not taken for the next query's.
  ReadingFault resynchronise(std::string& problem);
  ReadingFault lineFault(LineRead what, const std::string& command, std::string& problem);

  // How long the line may stay quiet behind a resynchronising answer before the
  // next query goes.
  static constexpr int kSettleMs = 10;

  InstrumentLine& line_;
  int timeoutMs_;
  std::string identityAnswer_;  // the *IDN? answer, as the line gave it
  bool lost_ = false;           // a query went unanswered since the last resynchronisation
  std::string lostQuery_;       // the one that did
  bool syncOwed_ = false;       // a resynchronising *IDN? is still unanswered
};

}  // namespace trimwell
