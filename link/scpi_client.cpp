#include "link/scpi_client.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/text_safety.h"

namespace trimwell {
namespace {

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// An answer as a message may quote it: cut, with what cannot be shown escaped.
std::string quoted(std::string_view answer) {
  constexpr std::size_t kShown = 40;
  std::string text = terminalText(answer.substr(0, kShown), false);
  if (answer.size() > kShown) text += "...";
  return "\"" + text + "\"";
}

}  // namespace

std::string InstrumentIdentity::text() const {
  std::string t = maker + " " + model + ", serial " + serial;
  if (!firmware.empty()) t += ", firmware " + firmware;
  return t;
}

bool parseIdentity(std::string_view answer, InstrumentIdentity& identity) {
  std::vector<std::string> fields;
  std::string_view rest = trimmed(answer);
  while (true) {
    const auto comma = rest.find(',');
    fields.emplace_back(trimmed(rest.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
  if (fields.size() != 4 || fields[0].empty() || fields[1].empty() || fields[2].empty()) return false;
  for (const std::string& f : fields) {
    if (f.find_first_of("\"") != std::string::npos || !formatOrControlCharacter(f).empty()) return false;
  }
  identity = {fields[0], fields[1], fields[2], fields[3]};
  return true;
}

const char* faultWords(ReadingFault fault) {
  switch (fault) {
    case ReadingFault::None: return "reads";
    case ReadingFault::Silent: return "does not answer";
    case ReadingFault::NotANumber: return "answered no number";
    case ReadingFault::NotFinite: return "answered a number that is not finite";
    case ReadingFault::InstrumentError: return "reports an error";
    case ReadingFault::Gone: return "is gone";
  }
  return "";
}

bool parseScpiNumber(std::string_view answer, double& value) {
  std::string_view text = trimmed(answer);
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || text.front() == '+' || (plus && text.front() == '-')) return false;
  // from_chars reads "inf" and "nan" too, which SCPI never sends: only digits,
  // a sign, a point and an exponent are a number here.
  if (text.find_first_not_of("0123456789+-.eE") != std::string_view::npos) return false;
  double read = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  if (std::abs(read) >= 9.9e37) {
    read = std::abs(read) >= 9.905e37 ? std::numeric_limits<double>::quiet_NaN()
                                      : std::copysign(std::numeric_limits<double>::infinity(), read);
  }
  value = read;
  return true;
}

ReadingFault ScpiClient::lineFault(LineRead what, const std::string& command, std::string& problem) {
  if (what == LineRead::Gone) {
    problem = line_.problem();
    return ReadingFault::Gone;
  }
  // While the line is being resynchronised, the query that went unanswered is
  // still the one to name.
  if (!lost_ || lostQuery_.empty()) lostQuery_ = command;
  lost_ = true;
  problem = "no answer to " + lostQuery_ + " within " + std::to_string(timeoutMs_) + " ms";
  return ReadingFault::Silent;
}

ReadingFault ScpiClient::ask(const std::string& command, std::string& answer, std::string& problem) {
  if (lost_) {
    if (const ReadingFault fault = resynchronise(problem); fault != ReadingFault::None) return fault;
  }
  if (!line_.writeLine(command, timeoutMs_)) {
    return lineFault(line_.isOpen() ? LineRead::Timeout : LineRead::Gone, command, problem);
  }
  const LineRead got = line_.readLine(answer, timeoutMs_);
  return got == LineRead::Line ? ReadingFault::None : lineFault(got, command, problem);
}

ReadingFault ScpiClient::resynchronise(std::string& problem) {
  // One *IDN? at a time while answers are still coming (a slow line): its answer
  // is waited for again rather than asked anew. One the line answered nothing to
  // in a whole wait was dropped (an instrument that went silent), and is asked anew.
  if (!syncOwed_) {
    line_.dropInput();
    if (!line_.writeLine("*IDN?", timeoutMs_)) {
      return lineFault(line_.isOpen() ? LineRead::Timeout : LineRead::Gone, "*IDN?", problem);
    }
    syncOwed_ = true;
  }
  // Answers of earlier queries may still come first; they are skipped. The
  // identity before the first *IDN? answer is known only by its form.
  std::string answer;
  InstrumentIdentity ignored;
  for (int lines = 0; lines < 16; ++lines) {
    const LineRead got = line_.readLine(answer, timeoutMs_);
    if (got == LineRead::Timeout && lines == 0) syncOwed_ = false;
    if (got != LineRead::Line) return lineFault(got, "*IDN?", problem);
    if (identityAnswer_.empty() ? parseIdentity(answer, ignored) : answer == identityAnswer_) {
      syncOwed_ = false;
      lost_ = false;
      lostQuery_.clear();
      // The answers of any *IDN? asked again come right behind: they go too.
      while (line_.readLine(answer, kSettleMs) == LineRead::Line) {
      }
      return line_.isOpen() ? ReadingFault::None : lineFault(LineRead::Gone, "*IDN?", problem);
    }
  }
  problem = "the line does not settle: it keeps answering what was not asked";
  return ReadingFault::NotANumber;
}

ReadingFault ScpiClient::identify(InstrumentIdentity& identity, std::string& problem) {
  identityAnswer_.clear();
  std::string answer;
  if (const ReadingFault fault = ask("*IDN?", answer, problem); fault != ReadingFault::None) return fault;
  if (!parseIdentity(answer, identity)) {
    problem = "its answer to *IDN? " + quoted(answer) + " is not maker, model, serial and firmware";
    lost_ = true;
    return ReadingFault::NotANumber;
  }
  identityAnswer_ = answer;
  if (!line_.writeLine("*CLS", timeoutMs_)) return lineFault(LineRead::Gone, "*CLS", problem);
  return ReadingFault::None;
}

ReadingFault ScpiClient::read(const std::string& query, double scale, double& value, std::string& problem) {
  std::string answer;
  if (const ReadingFault fault = ask(query, answer, problem); fault != ReadingFault::None) return fault;
  double reading = 0.0;
  const bool number = parseScpiNumber(answer, reading);
  std::string error;
  if (const ReadingFault fault = ask("SYST:ERR?", error, problem); fault != ReadingFault::None) return fault;
  long code = 0;
  const std::string_view code_text = trimmed(std::string_view(error).substr(0, error.find(',')));
  const auto [end, bad] =
      std::from_chars(code_text.data() + (code_text.starts_with('+') ? 1 : 0), code_text.data() + code_text.size(), code);
  if (bad != std::errc() || end != code_text.data() + code_text.size()) {
    problem = "its answer to SYST:ERR? " + quoted(error) + " is no error number";
    lost_ = true;
    return ReadingFault::NotANumber;
  }
  if (code != 0) {
    problem = "SYST:ERR? answers " + quoted(error);
    // The error is cleared, so that the next reading is not refused for it.
    line_.writeLine("*CLS", timeoutMs_);
    return ReadingFault::InstrumentError;
  }
  if (!number) {
    problem = "its answer to " + query + " " + quoted(answer) + " is no number";
    return ReadingFault::NotANumber;
  }
  if (!std::isfinite(reading) || !std::isfinite(reading * scale)) {
    problem = "its answer to " + query + " " + quoted(answer) + " is not a finite number";
    return ReadingFault::NotFinite;
  }
  value = reading * scale;
  return ReadingFault::None;
}

}  // namespace trimwell
