#include "sim/BodyBudget.h"

namespace opc::sim {

bool TBodyBudget::Take(std::size_t bytes) {
  std::size_t used = FUsed.load();
  do {
    if (bytes > FLimit || used > FLimit - bytes) {
      return false;
    }
  } while (!FUsed.compare_exchange_weak(used, used + bytes));
  return true;
}

bool TBodyCharge::GrowTo(std::size_t bytes) {
  if (bytes <= FBytes) {
    return true;
  }
  if (!FBudget.Take(bytes - FBytes)) {
    return false;
  }
  FBytes = bytes;
  return true;
}

} // namespace opc::sim
