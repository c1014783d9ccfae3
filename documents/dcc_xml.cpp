#include "documents/dcc_xml.h"

#include <cmath>

#include "records/calibration_record.h"

namespace trimwell::dcc {
namespace {

const xmlChar* x(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// The probability of the interval U gives, as the budget's coverage factor is
// chosen for (about 95 % for a near-normal error).
constexpr const char* kCoverageProbability = "0.9545";

}  // namespace

std::string xmlText(std::string_view text) {
  std::string valid(text);
  makeValidUtf8(valid);
  std::string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto c = static_cast<unsigned char>(valid[i]);
    const bool control = c < 0x20 && c != '\t' && c != '\n' && c != '\r';
    // U+FFFE and U+FFFF (EF BF BE, EF BF BF) are no XML characters either.
    const bool nonCharacter = c == 0xEF && i + 2 < valid.size() && static_cast<unsigned char>(valid[i + 1]) == 0xBF &&
                              (static_cast<unsigned char>(valid[i + 2]) & 0xFE) == 0xBE;
    if (control || nonCharacter) {
      out += "\xEF\xBF\xBD";
      if (nonCharacter) i += 2;
      continue;
    }
    out += valid[i];
  }
  return out;
}

std::string base64Text(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (left > 1 ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                (left > 2 ? std::uint32_t{bytes[i + 2]} : 0);
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += left > 1 ? kDigits[(group >> 6) & 63] : '=';
    out += left > 2 ? kDigits[group & 63] : '=';
  }
  return out;
}

Document::Document() : doc_(xmlNewDoc(x("1.0"))) {
  root_ = xmlNewNode(nullptr, x("digitalCalibrationCertificate"));
  xmlDocSetRootElement(doc_.get(), root_);
  dcc_ = xmlNewNs(root_, x(kDccNamespace), x("dcc"));
  si_ = xmlNewNs(root_, x(kSiNamespace), x("si"));
  xmlSetNs(root_, dcc_);
  xmlNewProp(root_, x("schemaVersion"), x("3.1.2"));
}

xmlNodePtr Document::node(xmlNodePtr parent, const char* name) { return xmlNewChild(parent, dcc_, x(name), nullptr); }

xmlNodePtr Document::text(xmlNodePtr parent, const char* name, std::string_view value) {
  return xmlNewTextChild(parent, dcc_, x(name), x(xmlText(value).c_str()));
}

xmlNodePtr Document::content(xmlNodePtr parent, const char* name, std::string_view value, bool english) {
  xmlNodePtr holder = node(parent, name);
  xmlNodePtr line = text(holder, "content", value);
  if (english) xmlNewProp(line, x("lang"), x("en"));
  return holder;
}

void Document::attribute(xmlNodePtr node, const char* name, std::string_view value) {
  xmlNewProp(node, x(name), x(xmlText(value).c_str()));
}

bool Document::number(double value, std::string_view what, std::string& out) {
  if (!std::isfinite(value)) {
    if (problem_.empty()) problem_ = std::string(what) + " is not a finite number, which a certificate cannot state";
    return false;
  }
  out = exactNumber(value + 0.0);  // + 0.0: no "-0", which an uncertainty may not have
  return true;
}

xmlNodePtr Document::real(xmlNodePtr parent, double value, const std::string& unit, const Expanded* expanded,
                          std::string_view what, const std::string* shown) {
  xmlNodePtr real = xmlNewChild(parent, si_, x("real"), nullptr);
  std::string text;
  if (number(value, what, text) && shown != nullptr) text = *shown;
  xmlNewTextChild(real, si_, x("value"), x(text.c_str()));
  xmlNewTextChild(real, si_, x("unit"), x(unit.c_str()));
  if (expanded == nullptr) return real;
  xmlNodePtr unc = xmlNewChild(real, si_, x("expandedUnc"), nullptr);
  std::string u, k;
  if (number(expanded->uncertainty, std::string(what) + "'s expanded uncertainty", u) &&
      !expanded->uncertaintyText.empty()) {
    u = expanded->uncertaintyText;
  }
  if (number(expanded->coverageFactor, std::string(what) + "'s coverage factor", k) &&
      !expanded->coverageFactorText.empty()) {
    k = expanded->coverageFactorText;
  }
  // D-SI takes k >= 1 written without an exponent; U >= 0 always holds for a budget.
  if (problem_.empty() && (expanded->coverageFactor < 1.0 || k.find('e') != std::string::npos)) {
    problem_ = std::string(what) + " has a coverage factor of " + k + ", which a certificate cannot state (k is 1 or more)";
  }
  if (problem_.empty() && expanded->uncertainty < 0.0) {
    problem_ = std::string(what) + " has a negative expanded uncertainty, which a certificate cannot state";
  }
  xmlNewTextChild(unc, si_, x("uncertainty"), x(u.c_str()));
  xmlNewTextChild(unc, si_, x("coverageFactor"), x(k.c_str()));
  xmlNewTextChild(unc, si_, x("coverageProbability"), x(kCoverageProbability));
  return real;
}

xmlNodePtr Document::base64(xmlNodePtr parent, const char* name, const std::vector<std::uint8_t>& bytes) {
  return xmlNewTextChild(parent, dcc_, x(name), x(base64Text(bytes).c_str()));
}

bool Document::dump(std::string& out) {
  xmlChar* memory = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(doc_.get(), &memory, &size, "UTF-8", 1);
  if (memory == nullptr) {
    problem_ = "the certificate's XML could not be written out";
    return false;
  }
  out.assign(reinterpret_cast<const char*>(memory), static_cast<std::size_t>(size));
  xmlFree(memory);
  return true;
}

}  // namespace trimwell::dcc
