// The simulator's replies read by the model, and the next requests built from them answered by
// the simulator in turn.
#include "base/Utf8Encoding.h"
#include "composition/Envelope.h"
#include "sim/Service.h"
#include "text/TextDecoding.h"
#include "xmlda/NextRequest.h"
#include "xmlda/ReplyReader.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace opc::xmlda {
namespace {

std::u16string Template(const std::string& operation) {
  std::ifstream file(std::filesystem::path(OPCXMLDA_TEMPLATES) / (operation + ".x"),
                     std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::string bytes = text.str();
  return DecodeText({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

std::string Problems(const TReply& reply) {
  std::string text;
  for (const TProblem& p : reply.problems) {
    text += std::to_string(p.line) + ":" + std::to_string(p.column) + " " + p.text + "\n";
  }
  return text;
}

class SimulatorReplies : public testing::Test {
protected:
  // Sends the request text as the window composes it and reads the reply; the reply must be read
  // without a problem.
  TReply Send(const std::string& operation, std::u16string_view request) {
    const sim::TReply raw = service.Handle(
        EncodeUtf8(ComposeSoapAction(std::u16string(operation.begin(), operation.end()))),
        EncodeUtf8(ComposeEnvelope(request)));
    TReply reply = ReadReply(raw.body);
    EXPECT_TRUE(reply.problems.empty()) << operation << ":\n" << Problems(reply) << raw.body;
    if (!reply.fault) {
      EXPECT_EQ(OperationName(reply.operation), operation) << raw.body;
      EXPECT_EQ(raw.status, 200);
    }
    return reply;
  }
  sim::TService service;
};

struct TemplateCase {
  const char* operation;
  std::function<void(const TReply&)> check;
};

void PrintTo(const TemplateCase& c, std::ostream* out) {
  *out << c.operation;
}

void SaneBase(const TReply& r) {
  ASSERT_TRUE(r.base);
  ASSERT_TRUE(r.base->rcvTime && r.base->replyTime);
  EXPECT_LE(r.base->rcvTime->UnixMicros(), r.base->replyTime->UnixMicros());
  EXPECT_EQ(r.base->serverState, "running");
}

const TemplateCase kTemplates[] = {
    {"GetStatus",
     [](const TReply& r) {
       SaneBase(r);
       ASSERT_TRUE(r.status);
       EXPECT_TRUE(r.status->startTime);
       EXPECT_EQ(r.status->supportedInterfaceVersions,
                 std::vector<std::string>{"XML_DA_Version_1_0"});
     }},
    {"Browse",
     [](const TReply& r) {
       SaneBase(r);
       EXPECT_FALSE(r.elements.empty());
       for (const TBrowseElement& e : r.elements) {
         EXPECT_TRUE(e.isItem) << e.itemName;
       }
     }},
    {"Read",
     [](const TReply& r) {
       SaneBase(r);
       ASSERT_EQ(r.items.size(), 5u);
       EXPECT_EQ(std::get<std::int64_t>(r.items[0].value.scalar.typed), 123456);
       EXPECT_EQ(r.items[2].value.scalar.text, "Quelm simulation \xC3\xA4\xC3\xB6\xC3\xBC");
       for (const TItem& item : r.items) {
         EXPECT_FALSE(item.result) << *item.itemName;
         EXPECT_TRUE(item.timestamp) << *item.itemName;
       }
     }},
    {"Write",
     [](const TReply& r) {
       SaneBase(r);
       EXPECT_EQ(r.items.size(), 2u);
       EXPECT_FALSE(r.HasItemErrors());
     }},
    {"GetProperties",
     [](const TReply& r) {
       SaneBase(r);
       ASSERT_EQ(r.propertyLists.size(), 2u);
       EXPECT_FALSE(r.propertyLists[0].properties.empty());
     }},
    {"Subscribe",
     [](const TReply& r) {
       SaneBase(r);
       EXPECT_TRUE(r.serverSubHandle);
       EXPECT_EQ(r.items.size(), 3u);
     }},
    // The shipped templates hold a handle for the user to fill in: the server names it unknown.
    {"SubscriptionPolledRefresh",
     [](const TReply& r) {
       SaneBase(r);
       EXPECT_EQ(r.invalidServerSubHandles,
                 std::vector<std::string>{"ServerSubHandle-from-the-Subscribe-reply"});
     }},
    {"SubscriptionCancel",
     [](const TReply& r) {
       ASSERT_TRUE(r.fault);
       EXPECT_NE(r.fault->string.find("E_NOSUBSCRIPTION"), std::string::npos);
     }},
};

class SimulatorTemplates : public SimulatorReplies,
                           public testing::WithParamInterface<TemplateCase> {};

TEST_P(SimulatorTemplates, AreReadWithoutProblems) {
  GetParam().check(Send(GetParam().operation, Template(GetParam().operation)));
}

INSTANTIATE_TEST_SUITE_P(Model, SimulatorTemplates, testing::ValuesIn(kTemplates),
                         [](const auto& info) { return std::string(info.param.operation); });

TEST_F(SimulatorReplies, BrowseNextPageUntilTheThousandItemsAreAllSeen) {
  const TReply root = Send("Browse", BrowseInto(Template("Browse"), {"", "", "", false, true, {}}));
  const auto paging = std::find_if(root.elements.begin(), root.elements.end(),
                                   [](const TBrowseElement& e) { return e.name == "Paging"; });
  ASSERT_NE(paging, root.elements.end());
  std::u16string request = BrowseInto(Template("Browse"), *paging);
  std::set<std::string> names;
  for (int page = 0; page < 20; ++page) {
    const TReply reply = Send("Browse", request);
    for (const TBrowseElement& e : reply.elements) {
      names.insert(e.itemName);
    }
    if (!reply.moreElements) {
      break;
    }
    ASSERT_TRUE(reply.continuationPoint);
    request = NextBrowsePage(request, *reply.continuationPoint);
  }
  EXPECT_EQ(names.size(), 1000u);
}

TEST_F(SimulatorReplies, ReadOfBrowsedItemsThenWriteOfTheValuesRead) {
  const TReply browse =
      Send("Browse", BrowseInto(Template("Browse"), {"", "", "Writable", false, true, {}}));
  ASSERT_FALSE(browse.elements.empty());
  std::vector<TItemRef> refs;
  for (const TBrowseElement& e : browse.elements) {
    refs.push_back(ItemRefOf(e));
  }
  const TReply read = Send("Read", ReadItems(Template("Read"), refs));
  ASSERT_EQ(read.items.size(), refs.size());
  std::vector<TWriteItem> writes;
  for (const TItem& item : read.items) {
    EXPECT_FALSE(item.result) << *item.itemName;
    writes.push_back({ItemRefOf(item), item.value});
  }
  const TReply written = Send("Write", WriteItems(Template("Write"), writes));
  EXPECT_EQ(written.items.size(), writes.size());
  EXPECT_FALSE(written.HasItemErrors()) << EncodeUtf8(WriteItems(Template("Write"), writes));
  const TReply properties = Send("GetProperties", GetPropertiesOf(Template("GetProperties"), refs));
  EXPECT_EQ(properties.propertyLists.size(), refs.size());
}

TEST_F(SimulatorReplies, SubscribePollCancelThenPollGivesTheInvalidHandle) {
  const TReply subscribed = Send("Subscribe", Template("Subscribe"));
  ASSERT_TRUE(subscribed.serverSubHandle);
  const std::string handle = *subscribed.serverSubHandle;
  const TReply polled = Send("SubscriptionPolledRefresh",
                             PollSubscription(Template("SubscriptionPolledRefresh"), handle));
  EXPECT_TRUE(polled.invalidServerSubHandles.empty());
  const TReply cancelled =
      Send("SubscriptionCancel", CancelSubscription(Template("SubscriptionCancel"), handle));
  EXPECT_FALSE(cancelled.fault);
  const TReply again = Send("SubscriptionPolledRefresh",
                            PollSubscription(Template("SubscriptionPolledRefresh"), handle));
  EXPECT_EQ(again.invalidServerSubHandles, std::vector<std::string>{handle});
}

} // namespace
} // namespace opc::xmlda
