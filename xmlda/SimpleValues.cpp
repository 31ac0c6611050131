#include "xmlda/SimpleValues.h"

#include "xmlda/ReplyModel.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace opc::xmlda {

namespace {

struct TTypeRow {
  TValueType type;
  bool opc; // named in the OPC namespace rather than the XML Schema namespace
  const char* name;
  TValueType element;      // for arrays
  const char* elementName; // for arrays
};

constexpr TTypeRow kTypes[] = {
    {TValueType::String, false, "string", TValueType::None, nullptr},
    {TValueType::Boolean, false, "boolean", TValueType::None, nullptr},
    {TValueType::Float, false, "float", TValueType::None, nullptr},
    {TValueType::Double, false, "double", TValueType::None, nullptr},
    {TValueType::Decimal, false, "decimal", TValueType::None, nullptr},
    {TValueType::Long, false, "long", TValueType::None, nullptr},
    {TValueType::Int, false, "int", TValueType::None, nullptr},
    {TValueType::Short, false, "short", TValueType::None, nullptr},
    {TValueType::Byte, false, "byte", TValueType::None, nullptr},
    {TValueType::UnsignedLong, false, "unsignedLong", TValueType::None, nullptr},
    {TValueType::UnsignedInt, false, "unsignedInt", TValueType::None, nullptr},
    {TValueType::UnsignedShort, false, "unsignedShort", TValueType::None, nullptr},
    {TValueType::UnsignedByte, false, "unsignedByte", TValueType::None, nullptr},
    {TValueType::Base64Binary, false, "base64Binary", TValueType::None, nullptr},
    {TValueType::DateTime, false, "dateTime", TValueType::None, nullptr},
    {TValueType::Date, false, "date", TValueType::None, nullptr},
    {TValueType::Time, false, "time", TValueType::None, nullptr},
    {TValueType::Duration, false, "duration", TValueType::None, nullptr},
    {TValueType::QName, false, "QName", TValueType::None, nullptr},
    {TValueType::AnyType, false, "anyType", TValueType::None, nullptr},
    {TValueType::ArrayOfByte, true, "ArrayOfByte", TValueType::Byte, "byte"},
    {TValueType::ArrayOfShort, true, "ArrayOfShort", TValueType::Short, "short"},
    {TValueType::ArrayOfUnsignedShort, true, "ArrayOfUnsignedShort", TValueType::UnsignedShort,
     "unsignedShort"},
    {TValueType::ArrayOfInt, true, "ArrayOfInt", TValueType::Int, "int"},
    {TValueType::ArrayOfUnsignedInt, true, "ArrayOfUnsignedInt", TValueType::UnsignedInt,
     "unsignedInt"},
    {TValueType::ArrayOfLong, true, "ArrayOfLong", TValueType::Long, "long"},
    {TValueType::ArrayOfUnsignedLong, true, "ArrayOfUnsignedLong", TValueType::UnsignedLong,
     "unsignedLong"},
    {TValueType::ArrayOfFloat, true, "ArrayOfFloat", TValueType::Float, "float"},
    {TValueType::ArrayOfDecimal, true, "ArrayOfDecimal", TValueType::Decimal, "decimal"},
    {TValueType::ArrayOfDouble, true, "ArrayOfDouble", TValueType::Double, "double"},
    {TValueType::ArrayOfBoolean, true, "ArrayOfBoolean", TValueType::Boolean, "boolean"},
    {TValueType::ArrayOfString, true, "ArrayOfString", TValueType::String, "string"},
    {TValueType::ArrayOfDateTime, true, "ArrayOfDateTime", TValueType::DateTime, "dateTime"},
    {TValueType::ArrayOfAnyType, true, "ArrayOfAnyType", TValueType::AnyType, "anyType"},
    {TValueType::Quality, true, "OPCQuality", TValueType::None, nullptr},
};

const TTypeRow* Row(TValueType type) {
  for (const TTypeRow& row : kTypes) {
    if (row.type == type) {
      return &row;
    }
  }
  return nullptr;
}

std::string_view Collapse(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) {
    return false;
  }
  for (char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
  }
  return true;
}

std::optional<std::string> Integer(std::string_view text, long double low, long double high,
                                   bool isUnsigned, TTyped& typed) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!AllDigits(text)) {
    return "not a whole number";
  }
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (error != std::errc() || end != text.data() + text.size()) {
    return "out of the type's range";
  }
  const long double value =
      negative ? -static_cast<long double>(magnitude) : static_cast<long double>(magnitude);
  if (value < low || value > high) {
    return "out of the type's range";
  }
  if (isUnsigned) {
    typed = magnitude; // "-0" is 0
  } else {
    // In range, so the two's complement of the magnitude is the value (2^63 included).
    typed = static_cast<std::int64_t>(negative ? ~magnitude + 1 : magnitude);
  }
  return std::nullopt;
}

// [+-]? (digits (. digits?)? | . digits)
bool IsDecimal(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    text.remove_prefix(1);
  }
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction =
      dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  const bool wholeOk = whole.empty() || AllDigits(whole);
  const bool fractionOk = fraction.empty() || AllDigits(fraction);
  return wholeOk && fractionOk && !(whole.empty() && fraction.empty());
}

std::optional<std::string> Floating(std::string_view text, bool isFloat, TTyped& typed) {
  if (text == "INF") {
    typed = std::numeric_limits<double>::infinity();
    return std::nullopt;
  }
  if (text == "-INF") {
    typed = -std::numeric_limits<double>::infinity();
    return std::nullopt;
  }
  if (text == "NaN") {
    typed = std::numeric_limits<double>::quiet_NaN();
    return std::nullopt;
  }
  const std::size_t e = text.find_first_of("eE");
  std::string_view mantissa = text.substr(0, e);
  if (!IsDecimal(mantissa)) {
    return "not a number";
  }
  if (e != std::string_view::npos) {
    std::string_view exponent = text.substr(e + 1);
    if (!exponent.empty() && (exponent.front() == '+' || exponent.front() == '-')) {
      exponent.remove_prefix(1);
    }
    if (!AllDigits(exponent)) {
      return "not a number";
    }
  }
  if (text.front() == '+') {
    text.remove_prefix(1);
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) {
    return "not a number";
  }
  if (error == std::errc::result_out_of_range) {
    // Out of range is still a lexically valid value: it stands for an infinity or zero.
    value = text.find_first_of("eE") != std::string_view::npos &&
                    text.substr(text.find_first_of("eE") + 1).find('-') != std::string_view::npos
                ? 0.0
                : (text.front() == '-' ? -std::numeric_limits<double>::infinity()
                                       : std::numeric_limits<double>::infinity());
  }
  if (isFloat && value == value &&
      (value > std::numeric_limits<float>::max() || value < -std::numeric_limits<float>::max())) {
    value = value > 0 ? std::numeric_limits<double>::infinity()
                      : -std::numeric_limits<double>::infinity();
  }
  typed = value;
  return std::nullopt;
}

int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  return -1;
}

std::optional<std::string> Base64(std::string_view text, TTyped& typed) {
  std::vector<std::uint8_t> bytes;
  std::uint32_t buffer = 0;
  int bits = 0;
  int padding = 0;
  std::size_t symbols = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      continue;
    }
    ++symbols;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int digit = Base64Digit(c);
    if (digit < 0 || padding > 0) {
      return "not base64";
    }
    buffer = (buffer << 6) | static_cast<std::uint32_t>(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<std::uint8_t>(buffer >> bits));
    }
  }
  if (symbols % 4 != 0 || padding > 2) {
    return "not base64";
  }
  typed = std::move(bytes);
  return std::nullopt;
}

bool IsDate(std::string_view text) {
  // Checked through the dateTime reader, with a midnight put in.
  std::size_t at = text.front() == '-' ? 1 : 0;
  at = text.find('-', at);
  if (at == std::string_view::npos || at + 6 > text.size()) {
    return false;
  }
  const std::string candidate =
      std::string(text.substr(0, at + 6)) + "T00:00:00" + std::string(text.substr(at + 6));
  return ParseXsdDateTime(candidate).has_value();
}

bool IsTime(std::string_view text) {
  return ParseXsdDateTime("2000-01-01T" + std::string(text)).has_value();
}

bool IsDuration(std::string_view text) {
  if (!text.empty() && text.front() == '-') {
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() != 'P') {
    return false;
  }
  text.remove_prefix(1);
  static constexpr char kDate[] = "YMD";
  static constexpr char kTime[] = "HMS";
  bool any = false;
  bool inTime = false;
  bool timeAny = false;
  int order = 0;
  while (!text.empty()) {
    if (text.front() == 'T') {
      if (inTime) {
        return false;
      }
      inTime = true;
      order = 0;
      text.remove_prefix(1);
      continue;
    }
    std::size_t n = 0;
    while (n < text.size() && ((text[n] >= '0' && text[n] <= '9') || text[n] == '.')) {
      ++n;
    }
    if (n == 0 || n == text.size()) {
      return false;
    }
    const std::string_view number = text.substr(0, n);
    const char unit = text[n];
    const char* units = inTime ? kTime : kDate;
    const char* found = std::strchr(units, unit);
    if (!found || unit == '\0' || found - units < order) {
      return false;
    }
    const bool fraction = number.find('.') != std::string_view::npos;
    if (fraction ? !(inTime && unit == 'S' && IsDecimal(number) && number.front() != '.')
                 : !AllDigits(number)) {
      return false;
    }
    order = static_cast<int>(found - units) + 1;
    any = true;
    timeAny = timeAny || inTime;
    text.remove_prefix(n + 1);
  }
  return any && (!inTime || timeAny);
}

} // namespace

TValueType ValueTypeOf(const TQName& type) {
  for (const TTypeRow& row : kTypes) {
    if (type.local == row.name && type.ns == (row.opc ? kOpcNamespace : kXsdNamespace)) {
      return row.type;
    }
  }
  return TValueType::Other;
}

bool IsArrayType(TValueType type) {
  const TTypeRow* row = Row(type);
  return row && row->elementName;
}

TValueType ArrayElementType(TValueType array) {
  const TTypeRow* row = Row(array);
  return row ? row->element : TValueType::None;
}

const char* ArrayElementName(TValueType array) {
  const TTypeRow* row = Row(array);
  return row && row->elementName ? row->elementName : "";
}

std::string TypeName(TValueType type, std::string_view xsdPrefix, std::string_view opcPrefix) {
  const TTypeRow* row = Row(type);
  if (!row) {
    return {};
  }
  const std::string_view prefix = row->opc ? opcPrefix : xsdPrefix;
  return prefix.empty() ? std::string(row->name) : std::string(prefix) + ":" + row->name;
}

std::optional<std::string> ParseScalar(TValueType type, TScalar& scalar) {
  scalar.type = type;
  scalar.typed = std::monostate();
  if (scalar.nil) {
    return std::nullopt;
  }
  const std::string_view text = Collapse(scalar.text);
  switch (type) {
  case TValueType::Boolean:
    if (text == "true" || text == "1") {
      scalar.typed = true;
    } else if (text == "false" || text == "0") {
      scalar.typed = false;
    } else {
      return "not a boolean";
    }
    return std::nullopt;
  case TValueType::Float:
    return Floating(text, true, scalar.typed);
  case TValueType::Double:
    return Floating(text, false, scalar.typed);
  case TValueType::Decimal:
    return IsDecimal(text) ? std::nullopt : std::optional<std::string>("not a decimal number");
  case TValueType::Long:
    return Integer(text, -9223372036854775808.0L, 9223372036854775807.0L, false, scalar.typed);
  case TValueType::Int:
    return Integer(text, -2147483648.0L, 2147483647.0L, false, scalar.typed);
  case TValueType::Short:
    return Integer(text, -32768.0L, 32767.0L, false, scalar.typed);
  case TValueType::Byte:
    return Integer(text, -128.0L, 127.0L, false, scalar.typed);
  case TValueType::UnsignedLong:
    return Integer(text, 0.0L, 18446744073709551615.0L, true, scalar.typed);
  case TValueType::UnsignedInt:
    return Integer(text, 0.0L, 4294967295.0L, true, scalar.typed);
  case TValueType::UnsignedShort:
    return Integer(text, 0.0L, 65535.0L, true, scalar.typed);
  case TValueType::UnsignedByte:
    return Integer(text, 0.0L, 255.0L, true, scalar.typed);
  case TValueType::Base64Binary:
    return Base64(text, scalar.typed);
  case TValueType::DateTime:
    if (auto value = ParseXsdDateTime(text)) {
      scalar.typed = std::move(*value);
      return std::nullopt;
    }
    return "not a dateTime";
  case TValueType::Date:
    return !text.empty() && IsDate(text) ? std::nullopt : std::optional<std::string>("not a date");
  case TValueType::Time:
    return IsTime(text) ? std::nullopt : std::optional<std::string>("not a time");
  case TValueType::Duration:
    return IsDuration(text) ? std::nullopt : std::optional<std::string>("not a duration");
  default:
    return std::nullopt;
  }
}

} // namespace opc::xmlda
