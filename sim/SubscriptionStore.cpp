#include "sim/SubscriptionStore.h"

namespace opc::sim {

namespace {

// An item's share of memory beside its names: the entry, the value last sent and the allocator's
// overhead, for the scalar and short array values of the address space.
constexpr std::size_t kItemBytes = 256;

std::size_t BytesOf(const std::vector<TSubscribedItem>& items) {
  std::size_t bytes = sizeof(TSubscription);
  for (const TSubscribedItem& item : items) {
    bytes += kItemBytes + item.itemName.size() + item.clientHandle.size();
  }
  return bytes;
}

} // namespace

TSubscription::TSubscription(std::vector<TSubscribedItem> items, int samplingMs)
    : FItems(std::move(items)), FSamplingMs(samplingMs), FBytes(BytesOf(FItems)),
      FLastSent(FItems.size()) {}

TSubscription::TChanges TSubscription::Changes(const TAddressSpace& space, bool all) const {
  TChanges changes;
  std::lock_guard lock(FMutex);
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    TValue value = space.Read(*FItems[i].item);
    if (all || !FLastSent[i] || !(*FLastSent[i] == value)) {
      changes.emplace_back(i, std::move(value));
    }
  }
  return changes;
}

void TSubscription::MarkSent(const TChanges& sent) {
  std::lock_guard lock(FMutex);
  for (const auto& [index, value] : sent) {
    if (index < FLastSent.size()) {
      FLastSent[index] = value;
    }
  }
}

TSubscriptionStore::TSubscriptionStore(TLimits limits) : FLimits(limits) {}

std::optional<std::string> TSubscriptionStore::Add(std::shared_ptr<TSubscription> subscription,
                                                   std::chrono::milliseconds lifetime) {
  std::lock_guard lock(FMutex);
  const std::size_t bytes = subscription->Bytes();
  if (FEntries.size() >= FLimits.subscriptions || bytes > FLimits.bytes - FBytes) {
    return std::nullopt;
  }
  std::string handle = std::to_string(FNextHandle++);
  FEntries.emplace(handle, TEntry{std::move(subscription), lifetime, TClock::now()});
  FBytes += bytes;
  return handle;
}

std::shared_ptr<TSubscription> TSubscriptionStore::Touch(const std::string& handle) {
  std::lock_guard lock(FMutex);
  const auto found = FEntries.find(handle);
  if (found == FEntries.end()) {
    return nullptr;
  }
  found->second.lastHeard = TClock::now();
  return found->second.subscription;
}

bool TSubscriptionStore::Remove(const std::string& handle) {
  std::lock_guard lock(FMutex);
  const auto found = FEntries.find(handle);
  if (found == FEntries.end()) {
    return false;
  }
  FBytes -= found->second.subscription->Bytes();
  FEntries.erase(found);
  return true;
}

void TSubscriptionStore::Expire(TClock::time_point now) {
  std::lock_guard lock(FMutex);
  for (auto it = FEntries.begin(); it != FEntries.end();) {
    // Copies are made only here, under the lock: a count above one is a refresh that holds it,
    // and a client waiting on a refresh is still there.
    const bool inUse = it->second.subscription.use_count() > 1;
    if (!inUse && now - it->second.lastHeard > it->second.lifetime) {
      FBytes -= it->second.subscription->Bytes();
      it = FEntries.erase(it);
    } else {
      ++it;
    }
  }
}

std::size_t TSubscriptionStore::Size() const {
  std::lock_guard lock(FMutex);
  return FEntries.size();
}

} // namespace opc::sim
