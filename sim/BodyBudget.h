#pragma once

#include <atomic>
#include <cstddef>

namespace opc::sim {

// The bytes of request bodies that the connections of a server hold at once. Each request is
// bounded on its own; this bounds them together, so that many large requests at once cannot
// take the process's memory.
class TBodyBudget {
public:
  explicit TBodyBudget(std::size_t limit) : FLimit(limit) {}

  // Whether the bytes could be had; taken if so.
  bool Take(std::size_t bytes);
  void Give(std::size_t bytes) { FUsed.fetch_sub(bytes); }

private:
  const std::size_t FLimit;
  std::atomic<std::size_t> FUsed{0};
};

// What one request holds of a budget, given back when it ends.
class TBodyCharge {
public:
  explicit TBodyCharge(TBodyBudget& budget) : FBudget(budget) {}
  ~TBodyCharge() { FBudget.Give(FBytes); }
  TBodyCharge(const TBodyCharge&) = delete;
  TBodyCharge& operator=(const TBodyCharge&) = delete;

  // Holds `bytes` in all (never less than before); false when the budget has not that much.
  bool GrowTo(std::size_t bytes);

private:
  TBodyBudget& FBudget;
  std::size_t FBytes = 0;
};

} // namespace opc::sim
