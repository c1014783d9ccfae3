#pragma once
// The XML side of the DCC writer: a libxml2 document in the DCC and D-SI
// namespaces, and the few shapes the DCC schema builds everything of (a text in
// one or more languages, a D-SI real quantity, base64 data). Texts are made fit
// for XML on the way in; numbers are written so that they read back exactly, and
// the first one that cannot be written is kept as the document's problem.

#include <libxml/tree.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trimwell::dcc {

inline constexpr const char* kDccNamespace = "https://ptb.de/dcc";
inline constexpr const char* kSiNamespace = "https://ptb.de/si";

// An expanded uncertainty as D-SI states it.
struct Expanded {
  double uncertainty = 0.0;
  double coverageFactor = 2.0;
  // As the certificate prints them (U rounded up, k to two decimals); the
  // numbers' own digits where empty.
  std::string uncertaintyText;
  std::string coverageFactorText;
};

class Document {
 public:
  Document();
  xmlNodePtr root() const { return root_; }

  // An empty element, or one holding a plain text (xs:string, xs:date ...).
  xmlNodePtr node(xmlNodePtr parent, const char* name);
  xmlNodePtr text(xmlNodePtr parent, const char* name, std::string_view value);
  // A dcc:textType or richContentType: the text in a dcc:content, "lang" set
  // for the station's own English texts and left off for what people typed.
  xmlNodePtr content(xmlNodePtr parent, const char* name, std::string_view value, bool english);
  void attribute(xmlNodePtr node, const char* name, std::string_view value);
  // si:real: value, unit and, when given, the expanded uncertainty at a
  // coverage probability of 95.45 %. `what` names the number in a problem;
  // `shown`, where given, is the value as the certificate prints it.
  xmlNodePtr real(xmlNodePtr parent, double value, const std::string& unit, const Expanded* expanded,
                  std::string_view what, const std::string* shown = nullptr);
  xmlNodePtr base64(xmlNodePtr parent, const char* name, const std::vector<std::uint8_t>& bytes);

  const std::string& problem() const { return problem_; }
  // Stops the document for this reason, unless it was stopped already.
  void refuse(std::string why) {
    if (problem_.empty()) problem_ = std::move(why);
  }
  // The document as UTF-8 text, indented.
  bool dump(std::string& out);

 private:
  bool number(double value, std::string_view what, std::string& out);
  struct FreeDoc {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
  };
  std::unique_ptr<xmlDoc, FreeDoc> doc_;
  xmlNodePtr root_ = nullptr;
  xmlNsPtr dcc_ = nullptr;
  xmlNsPtr si_ = nullptr;
  std::string problem_;
};

// The text with each byte that is not valid UTF-8, and each character XML 1.0
// cannot carry (control characters but tab and line breaks), made U+FFFD.
std::string xmlText(std::string_view text);

std::string base64Text(const std::vector<std::uint8_t>& bytes);

}  // namespace trimwell::dcc
