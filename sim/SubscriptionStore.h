#pragma once

#include "sim/AddressSpace.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace opc::sim {

struct TSubscribedItem {
  const TItem* item;
  std::string itemName;
  std::string clientHandle;
};

// One subscription: its items are fixed when it is made; what was last sent of each changes with
// every refresh, under the subscription's own lock, so that a refresh may go on with it after a
// cancel has taken it out of the store.
class TSubscription {
public:
  using TChanges = std::vector<std::pair<std::size_t, TValue>>; // item index, value

  TSubscription(std::vector<TSubscribedItem> items, int samplingMs);

  const std::vector<TSubscribedItem>& Items() const { return FItems; }
  int SamplingMs() const { return FSamplingMs; }
  // About what it takes in memory, with what it may come to hold of values.
  std::size_t Bytes() const { return FBytes; }

  // The items whose value is not the one last sent (every item when all is set).
  TChanges Changes(const TAddressSpace& space, bool all) const;
  // Records what a reply carries, so that the next refresh reports only later changes.
  void MarkSent(const TChanges& sent);

private:
  const std::vector<TSubscribedItem> FItems;
  const int FSamplingMs;
  const std::size_t FBytes;
  mutable std::mutex FMutex;
  std::vector<std::optional<TValue>> FLastSent;
};

// The server's subscriptions by handle. It owns its lock and hands out shared ownership, so a
// subscription lives as long as anyone works with it, whatever another client does meanwhile.
// It is bounded in subscriptions and in the memory they take together; a subscription that hears
// nothing from its client for longer than its lifetime ends, unless a refresh of it is under way.
class TSubscriptionStore {
public:
  using TClock = std::chrono::steady_clock;

  struct TLimits {
    std::size_t subscriptions = 1000;
    std::size_t bytes = 64u << 20;
  };

  explicit TSubscriptionStore(TLimits limits);
  TSubscriptionStore() : TSubscriptionStore(TLimits{}) {}

  // The new subscription's handle; none when the store is full.
  std::optional<std::string> Add(std::shared_ptr<TSubscription> subscription,
                                 std::chrono::milliseconds lifetime);
  // The subscription, its lifetime started anew; null when the handle is not known.
  std::shared_ptr<TSubscription> Touch(const std::string& handle);
  // Whether there was such a subscription.
  bool Remove(const std::string& handle);
  // Ends the subscriptions whose lifetime has run out at now.
  void Expire(TClock::time_point now = TClock::now());

  std::size_t Size() const;
  const TLimits& Limits() const { return FLimits; }

private:
  struct TEntry {
    std::shared_ptr<TSubscription> subscription;
    std::chrono::milliseconds lifetime;
    TClock::time_point lastHeard;
  };

  const TLimits FLimits;
  mutable std::mutex FMutex;
  std::map<std::string, TEntry> FEntries;
  std::size_t FBytes = 0;
  unsigned long long FNextHandle = 1;
};

} // namespace opc::sim
