#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace opc::sim {

// A value as it goes into a reply: its xsi:type and its text, or for an array the type of the
// array and its elements.
struct TValue {
  std::string type; // "xsd:int", "ArrayOfInt", ...
  std::string text;
  std::vector<std::string> elements; // arrays only
  std::string elementName;           // "int", "double", "string"
  bool operator==(const TValue&) const = default;
};

enum class TKind { Static, Ramp, Random, Sine, Clock, Toggle, Writable, ReadOnly };

struct TItem {
  std::string name; // full item name, "Static/Int32"
  TKind kind;
  TValue value; // static and writable items; the type of the others
  std::string description;
};

// A node of the browse tree: a branch, an item, or both.
struct TBranch {
  std::string name;     // last part of the name
  std::string fullName; // "" for the root
  const TItem* item = nullptr;
  std::map<std::string, std::unique_ptr<TBranch>> children;
};

// The simulated server's items: static values of every standard type, values that change with
// the clock, writable and read-only items, and a branch of a thousand items for paging.
class TAddressSpace {
public:
  TAddressSpace();

  const TItem* Find(const std::string& name) const;
  const TBranch* FindBranch(const std::string& name) const;
  const TBranch& Root() const { return FRoot; }
  std::size_t Size() const { return FItems.size(); }

  // The current value; changing items follow the clock.
  TValue Read(const TItem& item) const;
  // Stores a value of the item's type; returns the error ID when it cannot.
  std::optional<std::string> Write(const TItem& item, const TValue& value);

private:
  void Add(std::string name, TKind kind, TValue value, std::string description);

  std::vector<std::unique_ptr<TItem>> FItems;
  std::map<std::string, const TItem*> FByName;
  TBranch FRoot;
  mutable std::mutex FMutex;
  std::map<std::string, TValue> FWritten;
};

} // namespace opc::sim
