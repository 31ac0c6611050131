#include "sim/AddressSpace.h"

#include "sim/Time.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

namespace opc::sim {

namespace {

TValue Scalar(std::string type, std::string text) {
  return TValue{std::move(type), std::move(text), {}, {}};
}
TValue Array(std::string type, std::string element, std::vector<std::string> values) {
  return TValue{std::move(type), {}, std::move(values), std::move(element)};
}

double SecondsSinceStart() {
  static const auto start = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

bool ParsesAs(const std::string& type, const std::string& text) {
  char* end = nullptr;
  if (type == "xsd:int" || type == "xsd:short" || type == "xsd:long" || type == "xsd:byte" ||
      type == "xsd:unsignedByte" || type == "xsd:unsignedShort" || type == "xsd:unsignedInt") {
    std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0';
  }
  if (type == "xsd:double" || type == "xsd:float") {
    std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
  }
  if (type == "xsd:boolean") {
    return text == "true" || text == "false" || text == "1" || text == "0";
  }
  if (type == "xsd:dateTime") {
    return ParseXsdTime(text).has_value();
  }
  return true;
}

} // namespace

TAddressSpace::TAddressSpace() {
  Add("Static/Boolean", TKind::Static, Scalar("xsd:boolean", "true"), "A boolean that stays");
  Add("Static/Byte", TKind::Static, Scalar("xsd:byte", "-7"), "A signed byte");
  Add("Static/UnsignedByte", TKind::Static, Scalar("xsd:unsignedByte", "200"), "An unsigned byte");
  Add("Static/Int16", TKind::Static, Scalar("xsd:short", "-1234"), "A short");
  Add("Static/UInt16", TKind::Static, Scalar("xsd:unsignedShort", "54321"), "An unsigned short");
  Add("Static/Int32", TKind::Static, Scalar("xsd:int", "123456"), "An int");
  Add("Static/UInt32", TKind::Static, Scalar("xsd:unsignedInt", "4000000000"), "An unsigned int");
  Add("Static/Int64", TKind::Static, Scalar("xsd:long", "-9000000000000"), "A long");
  Add("Static/Float", TKind::Static, Scalar("xsd:float", "3.25"), "A float");
  Add("Static/Double", TKind::Static, Scalar("xsd:double", "2.718281828459045"), "A double");
  Add("Static/String", TKind::Static, Scalar("xsd:string", "Quelm simulation \u00e4\u00f6\u00fc"),
      "A string");
  Add("Static/DateTime", TKind::Static, Scalar("xsd:dateTime", "2024-05-01T14:03:07.123Z"),
      "A date and time");
  Add("Static/Decimal", TKind::Static, Scalar("xsd:decimal", "12345.678"), "A decimal");
  Add("Static/ArrayOfInt32", TKind::Static, Array("ArrayOfInt", "int", {"1", "2", "3", "5", "8"}),
      "Ints");
  Add("Static/ArrayOfDouble", TKind::Static,
      Array("ArrayOfDouble", "double", {"0.5", "1.5", "-2.25"}), "Doubles");
  Add("Static/ArrayOfString", TKind::Static,
      Array("ArrayOfString", "string", {"alpha", "beta", "gamma"}), "Strings");
  Add("Static/ArrayOfBoolean", TKind::Static, Array("ArrayOfBoolean", "boolean", {"true", "false"}),
      "Booleans");
  Add("Dynamic/Ramp/Int32", TKind::Ramp, Scalar("xsd:int", ""), "Counts up once a second, 0 to 99");
  Add("Dynamic/Ramp/Double", TKind::Ramp, Scalar("xsd:double", ""), "Rises by 0.1 every 100 ms");
  Add("Dynamic/Random/Double", TKind::Random, Scalar("xsd:double", ""),
      "A new random value at every read");
  Add("Dynamic/Random/Int32", TKind::Random, Scalar("xsd:int", ""),
      "A new random value at every read");
  Add("Dynamic/Sine/Double", TKind::Sine, Scalar("xsd:double", ""), "A sine of period 10 s");
  Add("Dynamic/Sine/Float", TKind::Sine, Scalar("xsd:float", ""), "A sine of period 10 s");
  Add("Dynamic/Clock/DateTime", TKind::Clock, Scalar("xsd:dateTime", ""), "The server's clock");
  Add("Dynamic/Toggle/Boolean", TKind::Toggle, Scalar("xsd:boolean", ""), "Flips every second");
  Add("Writable/Boolean", TKind::Writable, Scalar("xsd:boolean", "false"), "Write me");
  Add("Writable/Int32", TKind::Writable, Scalar("xsd:int", "0"), "Write me");
  Add("Writable/Double", TKind::Writable, Scalar("xsd:double", "0"), "Write me");
  Add("Writable/Float", TKind::Writable, Scalar("xsd:float", "0"), "Write me");
  Add("Writable/String", TKind::Writable, Scalar("xsd:string", ""), "Write me");
  Add("Writable/DateTime", TKind::Writable, Scalar("xsd:dateTime", "2000-01-01T00:00:00Z"),
      "Write me");
  Add("ReadOnly/Int32", TKind::ReadOnly, Scalar("xsd:int", "42"), "Writing this fails");
  Add("ReadOnly/String", TKind::ReadOnly, Scalar("xsd:string", "fixed"), "Writing this fails");
  for (int i = 0; i < 1000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Paging/Item%04d", i);
    Add(name, TKind::Static, Scalar("xsd:int", std::to_string(i)), "One of a thousand");
  }
}

void TAddressSpace::Add(std::string name, TKind kind, TValue value, std::string description) {
  auto item = std::make_unique<TItem>(TItem{name, kind, std::move(value), std::move(description)});
  TBranch* node = &FRoot;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t slash = std::min(name.find('/', start), name.size());
    const std::string part = name.substr(start, slash - start);
    auto& child = node->children[part];
    if (!child) {
      child = std::make_unique<TBranch>();
      child->name = part;
      child->fullName = name.substr(0, slash);
    }
    node = child.get();
    start = slash + 1;
  }
  node->item = item.get();
  FByName[item->name] = item.get();
  FItems.push_back(std::move(item));
}

const TItem* TAddressSpace::Find(const std::string& name) const {
  const auto found = FByName.find(name);
  return found == FByName.end() ? nullptr : found->second;
}

const TBranch* TAddressSpace::FindBranch(const std::string& name) const {
  if (name.empty()) {
    return &FRoot;
  }
  const TBranch* node = &FRoot;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t slash = std::min(name.find('/', start), name.size());
    const auto found = node->children.find(name.substr(start, slash - start));
    if (found == node->children.end()) {
      return nullptr;
    }
    node = found->second.get();
    start = slash + 1;
  }
  return node;
}

TValue TAddressSpace::Read(const TItem& item) const {
  TValue value = item.value;
  const double t = SecondsSinceStart();
  const bool integral = value.type == "xsd:int";
  switch (item.kind) {
  case TKind::Ramp:
    value.text = integral ? std::to_string(static_cast<long>(t) % 100)
                          : Number(std::fmod(std::floor(t * 10) / 10, 1000));
    break;
  case TKind::Random: {
    thread_local std::mt19937 random(std::random_device{}());
    value.text = integral ? std::to_string(random() % 1000)
                          : Number(std::uniform_real_distribution<double>(0, 100)(random));
    break;
  }
  case TKind::Sine:
    value.text = Number(std::sin(2 * M_PI * t / 10));
    break;
  case TKind::Clock:
    value.text = XsdNow();
    break;
  case TKind::Toggle:
    value.text = static_cast<long>(t) % 2 ? "true" : "false";
    break;
  case TKind::Writable: {
    std::lock_guard lock(FMutex);
    if (const auto found = FWritten.find(item.name); found != FWritten.end()) {
      value = found->second;
    }
    break;
  }
  default:
    break;
  }
  return value;
}

std::optional<std::string> TAddressSpace::Write(const TItem& item, const TValue& value) {
  if (item.kind != TKind::Writable) {
    return "E_READONLY";
  }
  if ((!value.type.empty() && value.type != item.value.type) ||
      !ParsesAs(item.value.type, value.text)) {
    return "E_BADTYPE";
  }
  std::lock_guard lock(FMutex);
  FWritten[item.name] = TValue{item.value.type, value.text, {}, {}};
  return std::nullopt;
}

} // namespace opc::sim
