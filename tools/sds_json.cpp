#include "tools/sds_json.h"

#include <cinttypes>
#include <cstdio>
#include <set>

#include "platform/format_text.h"

namespace trimwell {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

std::string utf8(const TextValue& value) { return toUtf8(value.text); }

template <typename Container>
ordered_json list(const Container& values, std::size_t count) {
  ordered_json out = ordered_json::array();
  for (std::size_t i = 0; i < count && i < values.size(); ++i) out.push_back(values[i]);
  return out;
}

ordered_json measurementToJson(const Measurement& m) {
  ordered_json out;
  out["id"] = m.id;
  out["primaryText"] = utf8(m.primaryText);
  out["secondaryText"] = utf8(m.secondaryText);
  out["conversionType"] = m.conversionType;
  out["blockLength"] = m.blockLength;
  out["sampleSize"] = m.type.sampleSize;
  out["inputCount"] = m.type.inputCount;
  out["inputIds"] = list(m.type.inputIds, static_cast<std::size_t>(m.type.storedInputCount()));
  out["operation"] = m.type.operation;
  out["optionFlags"] = list(m.type.optionFlags, 4);
  out["text"] = utf8(m.type.text);
  out["constants"] = list(m.type.constants, static_cast<std::size_t>(m.type.constantCount));
  out["flags"] = list(m.flags, 8);
  out["fixedValue"] = m.fixedValue;
  out["byteValues"] = list(m.byteValues, 2);
  out["fixedValues"] = list(m.fixedValues, 4);
  out["extensionText"] = utf8(m.extensionText);
  ordered_json wide = ordered_json::array();
  for (const TextValue& text : m.wideExtensionTexts) wide.push_back(utf8(text));
  out["wideExtensionTexts"] = wide;
  out["source"] = m.type.source != nullptr ? ordered_json(m.type.source->id) : ordered_json(nullptr);
  if (!m.type.keptTail.empty()) out["keptTail"] = hexText(m.type.keptTail.data(), m.type.keptTail.size());
  return out;
}

// Typed access to one JSON object, remembering the first problem with its key.
class Fields {
 public:
  Fields(const json& object, std::string where, std::string& error)
      : object_(object), where_(std::move(where)), error_(error) {}

  bool onlyKnown(std::initializer_list<const char*> known) {
    if (!object_.is_object()) return fail(where_.empty() ? "(top level)" : where_, "must be an object");
    std::set<std::string> names(known.begin(), known.end());
    for (const auto& [key, value] : object_.items()) {
      if (names.count(key) == 0) return fail(path(key.c_str()), "is not a known key");
    }
    return true;
  }

  bool integer(const char* key, long long min, long long max, long long& out) {
    out = 0;
    if (!object_.contains(key)) return true;
    return integerValue(object_.at(key), path(key), min, max, out);
  }

  template <typename T>
  bool integerAs(const char* key, long long min, long long max, T& out) {
    long long value = 0;
    if (!integer(key, min, max, value)) return false;
    out = static_cast<T>(value);
    return true;
  }

  bool real(const char* key, double& out) {
    out = 0.0;
    if (!object_.contains(key)) return true;
    return realValue(object_.at(key), path(key), out);
  }

  bool text(const char* key, TextValue& out) {
    out.text.clear();
    if (!object_.contains(key)) return true;
    return textValue(object_.at(key), path(key), out.text);
  }

  // Texts stored with a terminator in the image: at most capacity - 1 characters
  // come back, so a longer one is refused here rather than cut in the image.
  bool text8(const char* key, TextValue& out) {
    return text(key, out) && fitsField(path(key), toCodePage(out.text).size(), out);
  }
  bool text16(const char* key, TextValue& out) { return text(key, out) && fitsField(path(key), out.text.size(), out); }
  bool text16Value(const json& value, const std::string& where, TextValue& out) {
    return textValue(value, where, out.text) && fitsField(where, out.text.size(), out);
  }
  bool fitsField(const std::string& where, std::size_t units, const TextValue& out) {
    if (units < out.capacity) return true;
    return fail(where, "has more than " + std::to_string(out.capacity - 1) + " characters");
  }

  // Calls each(element, its path) for up to maxCount elements of an array.
  template <typename Each>
  bool array(const char* key, std::size_t maxCount, Each&& each) {
    if (!object_.contains(key)) return true;
    const json& value = object_.at(key);
    if (!value.is_array()) return fail(path(key), "must be a list");
    if (value.size() > maxCount) return fail(path(key), "has more than " + std::to_string(maxCount) + " elements");
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (!each(value[i], path(key) + "[" + std::to_string(i) + "]")) return false;
    }
    return true;
  }

  // Bytes written as pairs of hexadecimal digits.
  bool byteText(const char* key, std::vector<std::uint8_t>& out) {
    out.clear();
    if (!object_.contains(key)) return true;
    const json& value = object_.at(key);
    if (!value.is_string()) return fail(path(key), "must be a text of hexadecimal digits");
    const std::string digits = value.get<std::string>();
    if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      return fail(path(key), "must be pairs of hexadecimal digits");
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return true;
  }

  // Ignored keys are still checked for a sensible type.
  bool ignoredNumber(const char* key) {
    if (!object_.contains(key) || object_.at(key).is_number()) return true;
    return fail(path(key), "must be a number");
  }
  bool ignoredText(const char* key) {
    if (!object_.contains(key) || object_.at(key).is_string()) return true;
    return fail(path(key), "must be a text");
  }

  bool integerValue(const json& value, const std::string& where, long long min, long long max, long long& out) {
    if (!value.is_number_integer()) return fail(where, "must be an integer");
    out = value.is_number_unsigned() && value.get<unsigned long long>() > static_cast<unsigned long long>(max)
              ? max + 1
              : value.get<long long>();
    if (out < min || out > max) {
      return fail(where, "must lie between " + std::to_string(min) + " and " + std::to_string(max));
    }
    return true;
  }
  bool realValue(const json& value, const std::string& where, double& out) {
    if (!value.is_number()) return fail(where, "must be a number");
    out = value.get<double>();
    return true;
  }
  bool textValue(const json& value, const std::string& where, Text16& out) {
    if (!value.is_string()) return fail(where, "must be a text");
    if (!fromUtf8(value.get<std::string>(), out)) return fail(where, "is not valid UTF-8");
    return true;
  }

  bool fail(const std::string& where, const std::string& what) {
    if (error_.empty()) error_ = "\"" + where + "\" " + what;
    return false;
  }

  std::string path(const char* key) const { return where_.empty() ? key : where_ + "." + key; }

 private:
  const json& object_;
  std::string where_;
  std::string& error_;
};

bool measurementFromJson(const json& source, const std::string& where, Measurement& m, std::string& error) {
  Fields f(source, where, error);
  if (!f.onlyKnown({"id", "primaryText", "secondaryText", "conversionType", "blockLength", "sampleSize",
                    "inputCount", "inputIds", "operation", "optionFlags", "text", "constants", "flags",
                    "fixedValue", "byteValues", "fixedValues", "extensionText", "wideExtensionTexts", "source",
                    "keptTail"})) {
    return false;
  }
  if (!f.ignoredNumber("blockLength")) return false;
  if (source.contains("source") && !source.at("source").is_null() && !source.at("source").is_number_integer()) {
    return f.fail(f.path("source"), "must be an integer or null");
  }
  TypeDescriptor& t = m.type;
  int count = 0;
  const bool ok =
      f.integerAs("id", 0, 0xFFFF, m.id) && f.text8("primaryText", m.primaryText) &&
      f.text8("secondaryText", m.secondaryText) && f.integerAs("conversionType", 0, 255, m.conversionType) &&
      f.integerAs("sampleSize", -128, 255, t.sampleSize) && f.integerAs("inputCount", -128, 255, t.inputCount) &&
      f.array("inputIds", kMaxInputs, [&](const json& v, const std::string& at) {
        long long id = 0;
        if (!f.integerValue(v, at, 0, 0xFFFF, id)) return false;
        t.inputIds[static_cast<std::size_t>(count++)] = static_cast<int>(id);
        return true;
      }) &&
      f.integerAs("operation", -128, 255, t.operation) &&
      f.array("optionFlags", 4, [&, i = 0](const json& v, const std::string& at) mutable {
        long long flag = 0;
        if (!f.integerValue(v, at, INT32_MIN, INT32_MAX, flag)) return false;
        t.optionFlags[static_cast<std::size_t>(i++)] = static_cast<int>(flag);
        return true;
      }) &&
      f.text8("text", t.text) &&
      f.array("constants", kMaxConstants, [&](const json& v, const std::string& at) {
        return f.realValue(v, at, t.constants[static_cast<std::size_t>(t.constantCount++)]);
      }) &&
      f.array("flags", 8, [&, i = 0](const json& v, const std::string& at) mutable {
        long long flag = 0;
        if (!f.integerValue(v, at, INT32_MIN, INT32_MAX, flag)) return false;
        m.flags[static_cast<std::size_t>(i++)] = static_cast<int>(flag);
        return true;
      }) &&
      f.real("fixedValue", m.fixedValue) &&
      f.array("byteValues", 2, [&, i = 0](const json& v, const std::string& at) mutable {
        long long byte = 0;
        if (!f.integerValue(v, at, 0, 255, byte)) return false;
        m.byteValues[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(byte);
        return true;
      }) &&
      f.array("fixedValues", 4, [&, i = 0](const json& v, const std::string& at) mutable {
        return f.realValue(v, at, m.fixedValues[static_cast<std::size_t>(i++)]);
      }) &&
      f.text8("extensionText", m.extensionText) &&
      f.array("wideExtensionTexts", 3, [&, i = 0](const json& v, const std::string& at) mutable {
        return f.text16Value(v, at, m.wideExtensionTexts[static_cast<std::size_t>(i++)]);
      }) &&
      f.byteText("keptTail", t.keptTail);
  if (ok && m.conversionType == kRawLong) t.sampleSize = 4;
  t.conversionType = m.conversionType;
  return ok;
}

}  // namespace

ordered_json datasheetToJson(const Datasheet& d) {
  ordered_json out;
  char status[16];
  std::snprintf(status, sizeof status, "0x%08" PRIx32, d.status);
  out["status"] = status;
  out["sensorId"] = d.sensorId;
  out["lengthLimit"] = d.lengthLimit;
  out["baseLength"] = d.baseLength;
  out["extendedLength"] = d.extendedLength;
  out["reservedWord"] = d.reservedWord;
  std::string version;
  for (std::uint8_t ch : d.versionText) {
    if (ch == 0) break;
    version.push_back(static_cast<char>(ch));
  }
  out["versionText"] = toUtf8(fromCodePage(version));
  out["version"] = d.version();
  out["headerText"] = utf8(d.headerText);
  out["measurementCount"] = d.measurementCount;
  out["identity"] = hexText(d.identity.data(), d.identity.size());
  out["name"] = utf8(d.name);
  out["carriedWords"] = list(d.carriedWords, 5);
  out["extensionText"] = utf8(d.extensionText);
  out["extensionValue"] = d.extensionValue;
  ordered_json entries = ordered_json::array();
  for (const auto& [first, second] : d.entries) entries.push_back({first, second});
  out["entries"] = entries;
  ordered_json measurements = ordered_json::array();
  for (const auto& m : d.table) {
    if (m) measurements.push_back(measurementToJson(*m));
  }
  out["measurements"] = measurements;
  return out;
}

bool datasheetFromJson(const json& source, Datasheet& d, std::string& error) {
  error.clear();
  Fields f(source, "", error);
  if (!f.onlyKnown({"status", "sensorId", "lengthLimit", "baseLength", "extendedLength", "reservedWord",
                    "versionText", "version", "headerText", "measurementCount", "identity", "name",
                    "carriedWords", "extensionText", "extensionValue", "entries", "measurements"})) {
    return false;
  }
  TextValue versionText;
  TextValue identityText;
  const bool header =
      f.ignoredText("status") && f.ignoredNumber("baseLength") && f.ignoredNumber("version") &&
      f.ignoredNumber("measurementCount") && f.integerAs("sensorId", 0, 0xFFFF, d.sensorId) &&
      f.integerAs("lengthLimit", 0, 0xFFFF, d.lengthLimit) &&
      f.integerAs("extendedLength", 0, 0xFFFF, d.extendedLength) &&
      f.integerAs("reservedWord", 0, 0xFFFF, d.reservedWord) && f.text("versionText", versionText) &&
      f.text("headerText", d.headerText) && f.text("identity", identityText) && f.text8("name", d.name) &&
      f.array("carriedWords", 5, [&, i = 0](const json& v, const std::string& at) mutable {
        long long word = 0;
        if (!f.integerValue(v, at, 0, 0xFFFFFFFFLL, word)) return false;
        d.carriedWords[static_cast<std::size_t>(i++)] = static_cast<std::uint32_t>(word);
        return true;
      }) &&
      f.text16("extensionText", d.extensionText) && f.integerAs("extensionValue", 0, 0xFFFF, d.extensionValue) &&
      f.array("entries", 0xFFFF / 18, [&](const json& v, const std::string& at) {
        if (!v.is_array() || v.size() != 2) return f.fail(at, "must be a pair of bytes");
        long long first = 0, second = 0;
        if (!f.integerValue(v[0], at + "[0]", 0, 255, first) || !f.integerValue(v[1], at + "[1]", 0, 255, second)) {
          return false;
        }
        d.entries.emplace_back(static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second));
        return true;
      });
  if (!header) return false;

  const std::string versionBytes = toCodePage(versionText.text);
  if (versionBytes.size() > d.versionText.size()) return f.fail("versionText", "has more than 4 characters");
  std::copy(versionBytes.begin(), versionBytes.end(), d.versionText.begin());

  const std::string identity = toCodePage(identityText.text);
  if (!identity.empty()) {
    if (identity.size() != 64 || identity.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      return f.fail("identity", "must be 64 hexadecimal digits");
    }
    for (std::size_t i = 0; i < d.identity.size(); ++i) {
      d.identity[i] = static_cast<std::uint8_t>(std::stoul(identity.substr(2 * i, 2), nullptr, 16));
    }
  }

  // For versions before 2.0 the encoder carries the extended length; later ones compute it.
  if (d.version() >= 0x20000) d.extendedLength = 0;

  return f.array("measurements", kMaxMeasurements, [&](const json& v, const std::string& at) {
    return measurementFromJson(v, at, d.addMeasurement(), error);
  });
}

}  // namespace trimwell
