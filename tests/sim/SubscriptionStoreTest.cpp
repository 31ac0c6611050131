#include "sim/SubscriptionStore.h"

#include "sim/Service.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <pugixml.hpp>
#include <random>
#include <thread>
#include <vector>

namespace opc::sim {
namespace {

const std::string kAction = "http://opcfoundation.org/webservices/XMLDA/1.0/";

std::string Request(const std::string& operation, const std::string& attributes,
                    const std::string& content) {
  return "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><" + operation +
         " xmlns=\"" + kAction + "\" " + attributes + ">" + content + "</" + operation +
         "></s:Body></s:Envelope>";
}

std::string HandleOf(const std::string& reply) {
  const std::string key = "ServerSubHandle=\"";
  const std::size_t start = reply.find(key);
  if (start == std::string::npos) {
    return {};
  }
  return reply.substr(start + key.size(), reply.find('"', start + key.size()) - start - key.size());
}

// Clients on several threads subscribe, refresh and cancel the same subscriptions at once: a
// refresh whose subscription is cancelled under it must still answer soundly (the sanitizer
// build is where a freed subscription would show).
TEST(SimSubscriptions, ConcurrentSubscribeRefreshAndCancelAnswerSoundly) {
  TService service;
  std::mutex handlesMutex;
  std::vector<std::string> handles;
  std::atomic<int> bad{0};
  std::string firstBad;
  std::mutex badMutex;
  const auto report = [&](const std::string& what) {
    if (bad++ == 0) {
      std::lock_guard lock(badMutex);
      firstBad = what;
    }
  };
  const auto pick = [&](std::mt19937& random) {
    std::lock_guard lock(handlesMutex);
    return handles.empty() ? std::string("1") : handles[random() % handles.size()];
  };
  const auto client = [&](unsigned seed) {
    std::mt19937 random(seed);
    for (int round = 0; round < 150; ++round) {
      const unsigned what = random() % 4;
      if (what == 0) {
        const TReply reply = service.Handle(
            kAction + "Subscribe",
            Request("Subscribe", "ReturnValuesOnReply=\"true\"",
                    "<ItemList RequestedSamplingRate=\"100\"><Items ItemName=\"Static/Int32\"/>"
                    "<Items ItemName=\"Dynamic/Random/Double\"/></ItemList>"));
        const std::string handle = HandleOf(reply.body);
        if (reply.status != 200 || handle.empty()) {
          report(reply.body);
          continue;
        }
        std::lock_guard lock(handlesMutex);
        handles.push_back(handle);
      } else if (what == 1) {
        const TReply reply = service.Handle(
            kAction + "SubscriptionCancel",
            Request("SubscriptionCancel", "ServerSubHandle=\"" + pick(random) + "\"", ""));
        if (reply.status == 500 ? reply.body.find("E_NOSUBSCRIPTION") == std::string::npos
                                : reply.status != 200) {
          report(reply.body);
        }
      } else {
        const std::string attributes = what == 2 ? "ReturnAllItems=\"true\"" : "WaitTime=\"30\"";
        const TReply reply = service.Handle(kAction + "SubscriptionPolledRefresh",
                                            Request("SubscriptionPolledRefresh", attributes,
                                                    "<ServerSubHandles>" + pick(random) +
                                                        "</ServerSubHandles><ServerSubHandles>" +
                                                        pick(random) + "</ServerSubHandles>"));
        pugi::xml_document document;
        if (reply.status != 200 || !document.load_string(reply.body.c_str())) {
          report(reply.body);
        }
      }
    }
  };
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < 4; ++i) {
    threads.emplace_back(client, i + 1);
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(bad.load(), 0) << firstBad;
}

std::shared_ptr<TSubscription> Subscription(std::size_t handleBytes) {
  static const TAddressSpace space;
  return std::make_shared<TSubscription>(
      std::vector<TSubscribedItem>{
          {space.Find("Static/Int32"), "Static/Int32", std::string(handleBytes, 'h')}},
      100);
}

TEST(SimSubscriptions, TheStoreHoldsItsLimitsAndFreesWhatEnds) {
  TSubscriptionStore store({2, 100'000});
  const auto life = std::chrono::milliseconds(50);
  const auto a = store.Add(Subscription(40'000), life);
  ASSERT_TRUE(a);
  EXPECT_FALSE(store.Add(Subscription(70'000), life)) << "over the memory limit";
  const auto b = store.Add(Subscription(10), life);
  ASSERT_TRUE(b);
  EXPECT_FALSE(store.Add(Subscription(10), life)) << "a third subscription";
  EXPECT_TRUE(store.Remove(*a));
  EXPECT_FALSE(store.Remove(*a));
  EXPECT_TRUE(store.Add(Subscription(70'000), life)) << "the cancelled one's room is free again";

  // Past its lifetime a subscription ends, unless a refresh holds it.
  const auto held = store.Touch(*b);
  store.Expire(TSubscriptionStore::TClock::now() + std::chrono::seconds(1));
  EXPECT_EQ(store.Size(), 1u);
  EXPECT_TRUE(store.Touch(*b));
  store.Expire(TSubscriptionStore::TClock::now() + std::chrono::milliseconds(10));
  EXPECT_EQ(store.Size(), 1u) << "touched just now";
}

std::string Subscribe(TService& service, const std::string& attributes, std::size_t items) {
  std::string list;
  for (std::size_t i = 0; i < items; ++i) {
    list += "<Items ItemName=\"Static/Int32\"/>";
  }
  return service
      .Handle(kAction + "Subscribe",
              Request("Subscribe", attributes, "<ItemList>" + list + "</ItemList>"))
      .body;
}

TEST(SimSubscriptions, BeyondTheLimitsSubscribeIsAnsweredWithAFault) {
  TService service({3, 64u << 20});
  EXPECT_NE(Subscribe(service, "", kMaxSubscribedItems + 1)
                .find("E_OUTOFMEMORY: A subscription takes at most 10000 items"),
            std::string::npos);
  const std::string first = HandleOf(Subscribe(service, "", kMaxSubscribedItems));
  EXPECT_FALSE(first.empty());
  EXPECT_FALSE(HandleOf(Subscribe(service, "", 1)).empty());
  EXPECT_FALSE(HandleOf(Subscribe(service, "", 1)).empty());
  const std::string refused = Subscribe(service, "", 1);
  EXPECT_NE(refused.find("<faultcode>soap:Server</faultcode><faultstring>E_OUTOFMEMORY: The "
                         "server holds as many subscriptions as it takes (at most 3"),
            std::string::npos)
      << refused;
  service.Handle(kAction + "SubscriptionCancel",
                 Request("SubscriptionCancel", "ServerSubHandle=\"" + first + "\"", ""));
  EXPECT_FALSE(HandleOf(Subscribe(service, "", 1)).empty()) << "room again after a cancel";
}

TEST(SimSubscriptions, SubscriptionsNeverCancelledEndByTheirPingRate) {
  TService service({20, 64u << 20});
  for (int i = 0; i < 200; ++i) {
    const std::string reply = Subscribe(service, "SubscriptionPingRate=\"5\"", 1);
    ASSERT_FALSE(HandleOf(reply).empty()) << "subscription " << i << ": " << reply;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(SimSubscriptions, PollsWithinThePingRateAndHeldRefreshesKeepASubscription) {
  TService service;
  const std::string handle = HandleOf(Subscribe(service, "SubscriptionPingRate=\"150\"", 1));
  const auto refresh = [&](const std::string& attributes) {
    return service
        .Handle(kAction + "SubscriptionPolledRefresh",
                Request("SubscriptionPolledRefresh", attributes,
                        "<ServerSubHandles>" + handle + "</ServerSubHandles>"))
        .body;
  };
  for (int i = 0; i < 5; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(refresh("").find("InvalidServerSubHandles"), std::string::npos) << i;
  }
  // Held twice as long as the ping rate, while another client's request looks for subscriptions
  // that ended: the client was there all along.
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(220));
    service.Handle(kAction + "GetStatus", Request("GetStatus", "", ""));
  });
  EXPECT_EQ(refresh("WaitTime=\"300\"").find("InvalidServerSubHandles"), std::string::npos);
  other.join();
  EXPECT_EQ(refresh("").find("InvalidServerSubHandles"), std::string::npos);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NE(refresh("").find("InvalidServerSubHandles"), std::string::npos);
}

} // namespace
} // namespace opc::sim
