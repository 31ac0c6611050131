#pragma once

#include "xmlda/XsdDateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace opc::xmlda {

// A qualified name resolved by the namespace declarations in scope where it was written.
struct TQName {
  std::string ns;
  std::string local;
  bool operator==(const TQName&) const = default;
};

// The types a Value may name with xsi:type: the schema's simple types, its ArrayOf types and the
// OPCQuality of the "quality" property. Other names the reader keeps as text (Other).
enum class TValueType {
  None, // no xsi:type: the value's text as it stands
  String,
  Boolean,
  Float,
  Double,
  Decimal,
  Long,
  Int,
  Short,
  Byte,
  UnsignedLong,
  UnsignedInt,
  UnsignedShort,
  UnsignedByte,
  Base64Binary,
  DateTime,
  Date,
  Time,
  Duration,
  QName,
  AnyType,
  ArrayOfByte,
  ArrayOfShort,
  ArrayOfUnsignedShort,
  ArrayOfInt,
  ArrayOfUnsignedInt,
  ArrayOfLong,
  ArrayOfUnsignedLong,
  ArrayOfFloat,
  ArrayOfDecimal,
  ArrayOfDouble,
  ArrayOfBoolean,
  ArrayOfString,
  ArrayOfDateTime,
  ArrayOfAnyType,
  Quality,
  Other,
};

// The type an xsi:type names (XML Schema namespace for simple types, OPC namespace for the rest).
TValueType ValueTypeOf(const TQName& type);
bool IsArrayType(TValueType type);
// For an ArrayOf type: the type of its elements and the local name of its element children.
TValueType ArrayElementType(TValueType array);
const char* ArrayElementName(TValueType array);
// The xsi:type to write for a type, with the given prefixes for the two namespaces ("" for none).
std::string TypeName(TValueType type, std::string_view xsdPrefix, std::string_view opcPrefix);

using TTyped = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, TDateTime,
                            TQName, std::vector<std::uint8_t>>;

// One value of a simple type: its text as sent and, where the text is of its type, the value.
struct TScalar {
  TValueType type = TValueType::None;
  std::string text;
  bool nil = false;
  TTyped typed; // monostate for texts (string, decimal, date, time, duration, untyped, other)
};

// Reads text as a value of a simple type. On success fills scalar.typed and returns nothing; else
// returns why the text is not of that type. QNames need their namespace, so they are resolved by
// the caller and not here.
std::optional<std::string> ParseScalar(TValueType type, TScalar& scalar);

} // namespace opc::xmlda
