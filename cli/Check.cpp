#include "cli/Check.h"

#include "cli/Exchange.h"
#include "cli/ExitCodes.h"
#include "cli/Junit.h"
#include "cli/ReplyTable.h"
#include "cli/SchemaCheck.h"
#include "roundtrip/TemplateFile.h"
#include "xmlda/NextRequest.h"
#include "xmlda/ResultCodes.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <unistd.h>

namespace opc::cli {

using namespace xmlda;

namespace {

constexpr std::size_t kSubscribedItems = 10;
constexpr std::size_t kWrittenItems = 5;

std::int64_t NowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The local zone's offset, for server times written without a zone (local time by the schema).
int LocalOffsetMinutes() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff / 60);
}

std::string Fixed(double value, const char* format = "%.3f") {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Join(const std::vector<std::string>& parts, std::size_t most = 5) {
  std::string text;
  for (std::size_t i = 0; i < parts.size() && i < most; ++i) {
    text += (i ? "; " : "") + parts[i];
  }
  if (parts.size() > most) {
    text += "; and " + std::to_string(parts.size() - most) + " more";
  }
  return text;
}

bool Names(const TReply& reply, const char* code) {
  for (const TError& e : reply.errors) {
    if (e.id.local == code && e.id.ns == kOpcNamespace) {
      return true;
    }
  }
  return false;
}

bool FaultNames(const TReply& reply, const char* code) {
  if (!reply.fault) {
    return false;
  }
  for (const TQName& sub : reply.fault->subcodes) {
    if (sub.local == code) {
      return true;
    }
  }
  return reply.fault->code.local == code || reply.fault->string.find(code) != std::string::npos ||
         reply.fault->detail.find(code) != std::string::npos;
}

std::string Code(const std::optional<TResult>& result) {
  return result ? result->id.local : std::string("no result code");
}

// A failure as one line: what the post or the reply said.
std::optional<std::string> Failed(const TExchange& x) {
  if (x.error) {
    return *x.error;
  }
  if (x.reply.fault) {
    return "SOAP fault " + x.reply.fault->codeText + ": " + x.reply.fault->string;
  }
  if (x.reply.operation == TOperation::Unknown) {
    return std::string("the reply is not an OPC XML-DA reply") +
           (x.reply.problems.empty() ? "" : ": " + x.reply.problems.front().text);
  }
  return std::nullopt;
}

class TCheckRun {
public:
  TCheckRun(const TOptions& options, const std::filesystem::path& templates, std::ostream& out)
      : FOptions(options), FTemplates(templates),
        FOut(out), FConnection{options.url, options.proxy, options.user, options.password} {}

  void Prepare() {
    if (!FOptions.schema.empty()) {
      FSchema = std::make_unique<TSchemaCheck>(FOptions.schema);
    }
    if (!FOptions.saveDir.empty()) {
      std::filesystem::create_directories(FOptions.saveDir);
    }
  }

  void Run() {
    Step("GetStatus", [&] { return GetStatus(); });
    if (FUnreachable) {
      FOut << "The server cannot be reached; the other steps are not run.\n";
      return;
    }
    Step("Browse: the address space walked, page by page", [&] { return Walk(); });
    Step("Browse: an invalid continuation point", [&] { return BadContinuationPoint(); });
    Step("Browse: an invalid element name filter", [&] { return BadFilter(); });
    Step("Read of the items found", [&] { return ReadFound(); });
    Step("Read of an unknown item", [&] {
      return ReadExpecting("opcxmlda-cli/no/such/item/" + std::to_string(getpid()),
                           "E_UNKNOWNITEMNAME");
    });
    Step("Read of an invalid item name", [&] { return ReadExpecting("", "E_INVALIDITEMNAME"); });
    Step("Read with a RequestDeadline in the past", [&] { return PastDeadline(); });
    Step("GetProperties of the items found", [&] { return Properties(); });
    Step("Subscribe", [&] { return Subscribe(); });
    Step("SubscriptionPolledRefresh: HoldTime honoured, all items returned",
         [&] { return PollHeld(); });
    Step("SubscriptionPolledRefresh: WaitTime honoured", [&] { return PollWaiting(); });
    Step("SubscriptionCancel", [&] { return Cancel(); });
    Step("SubscriptionPolledRefresh of the cancelled subscription",
         [&] { return PollCancelled(); });
    if (FOptions.allowWrite) {
      Step("Write and read back", [&] { return WriteBack(); });
    } else {
      FOut << "skip  Write and read back (only with --allow-write)\n";
    }
    const std::string schemaNote = FSchema ? ", valid against the schema" : "";
    Step("Every reply well-formed, in the OPC namespace" + schemaNote,
         [&] { return FReplyFaults.empty() ? std::string() : Join(FReplyFaults, 10); });
  }

  const std::vector<TStepResult>& Steps() const { return FSteps; }

private:
  const TOptions& FOptions;
  std::filesystem::path FTemplates;
  std::ostream& FOut;
  TConnection FConnection;
  std::unique_ptr<TSchemaCheck> FSchema;
  std::vector<TStepResult> FSteps;
  std::vector<std::string> FReplyFaults;
  std::map<std::string, std::u16string> FTemplateTexts;
  std::vector<TItemRef> FItems;
  std::vector<TItemRef> FWritable;
  std::optional<std::string> FHandle;
  std::size_t FSubscribed = 0;
  int FExchanges = 0;
  bool FUnreachable = false;
  double FClockOffset = 0;      // the server's clock minus ours, as GetStatus showed it
  double FClockUncertainty = 0; // how far that may be off: the GetStatus round trip
  std::string FInfo;            // what a passing step found, for its line

  // --- plumbing ---------------------------------------------------------------------------------
  void Step(const std::string& name, const std::function<std::string()>& body) {
    FInfo.clear();
    const auto started = std::chrono::steady_clock::now();
    std::string reason;
    try {
      reason = body();
    } catch (const std::exception& error) {
      reason = error.what();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    FSteps.push_back({name, reason.empty(), reason.empty() ? FInfo : reason, seconds});
    FOut << (reason.empty() ? "pass  " : "FAIL  ") << name;
    if (!FSteps.back().reason.empty()) {
      FOut << (reason.empty() ? " (" : ": ") << FSteps.back().reason << (reason.empty() ? ")" : "");
    }
    FOut << "\n" << std::flush;
  }

  std::u16string Template(const std::string& operation) {
    auto found = FTemplateTexts.find(operation);
    if (found == FTemplateTexts.end()) {
      found = FTemplateTexts.emplace(operation, LoadTemplateText(FTemplates / (operation + ".x")))
                  .first;
    }
    return found->second;
  }

  TExchange Send(const std::string& operation, const std::u16string& body) {
    TExchange x = Exchange(FConnection, operation, body);
    ++FExchanges;
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%03d-", FExchanges);
    if (!FOptions.saveDir.empty()) {
      const std::filesystem::path base = std::filesystem::path(FOptions.saveDir) / prefix;
      std::ofstream(base.string() + operation + "-request.xml", std::ios::binary) << x.request;
      std::ofstream reply(base.string() + operation + "-reply.xml", std::ios::binary);
      reply.write(reinterpret_cast<const char*>(x.response.data()),
                  static_cast<std::streamsize>(x.response.size()));
      if (!reply) {
        throw std::runtime_error("cannot write into --save-dir " + FOptions.saveDir);
      }
    }
    if (x.error) {
      return x;
    }
    const std::string where = std::string(prefix) + operation + " reply";
    for (const TProblem& p : x.reply.problems) {
      FReplyFaults.push_back(where + " line " + std::to_string(p.line) + ": " + p.text);
    }
    if (!x.reply.fault && x.reply.operation == TOperation::Unknown && x.reply.problems.empty()) {
      FReplyFaults.push_back(where + ": not in the OPC XML-DA namespace");
    }
    if (FSchema) {
      const std::string errors = FSchema->Errors(
          std::string_view(reinterpret_cast<const char*>(x.response.data()), x.response.size()));
      if (!errors.empty()) {
        FReplyFaults.push_back(where +
                               " outside the schema: " + errors.substr(0, errors.find('\n')));
      }
    }
    return x;
  }

  // --- steps ------------------------------------------------------------------------------------
  std::string GetStatus() {
    const TExchange x = Send("GetStatus", Template("GetStatus"));
    if (x.error && x.failure == kExitTransport) {
      FUnreachable = true;
    }
    if (auto failed = Failed(x)) {
      return *failed;
    }
    const TReply& r = x.reply;
    std::vector<std::string> wrong;
    if (!r.base || !r.base->rcvTime || !r.base->replyTime) {
      return "the reply base lacks RcvTime or ReplyTime";
    }
    const int local = LocalOffsetMinutes();
    const std::int64_t rcv = r.base->rcvTime->UnixMicros(local);
    const std::int64_t reply = r.base->replyTime->UnixMicros(local);
    if (rcv > reply) {
      wrong.push_back("RcvTime " + r.base->rcvTime->text + " is after ReplyTime " +
                      r.base->replyTime->text);
    }
    const double offset = static_cast<double>(reply - NowMicros()) / 1e6;
    FClockOffset = offset;
    FClockUncertainty = x.seconds;
    if (std::fabs(offset) > FOptions.clockTolerance) {
      wrong.push_back("ReplyTime differs from the local clock by " + Fixed(offset) +
                      " s (tolerance " + Fixed(FOptions.clockTolerance, "%g") + " s)");
    }
    static const std::set<std::string> kStates = {"running",   "failed", "noConfig",
                                                  "suspended", "test",   "commFault"};
    if (!kStates.count(r.base->serverState)) {
      wrong.push_back("ServerState \"" + r.base->serverState + "\" is not a known state");
    }
    if (!r.status) {
      wrong.push_back("no Status");
    } else if (r.status->supportedInterfaceVersions.empty()) {
      wrong.push_back("no SupportedInterfaceVersions claimed");
    } else {
      for (const std::string& v : r.status->supportedInterfaceVersions) {
        if (v != "XML_DA_Version_1_0") {
          wrong.push_back("unknown interface version \"" + v + "\"");
        }
      }
    }
    FInfo = "state " + r.base->serverState + ", clock difference " + Fixed(offset) + " s";
    if (r.status) {
      FInfo += ", " + r.status->vendorInfo.value_or("no vendor info") + " " +
               r.status->productVersion.value_or("");
    }
    return Join(wrong);
  }

  std::u16string BrowseBase() {
    return SetRequestAttribute(Template("Browse"), u"Browse", u"", u"MaxElementsReturned",
                               std::to_string(FOptions.pageSize));
  }

  std::string Walk() {
    struct TBranch {
      TBrowseElement element;
      int depth;
    };
    std::deque<TBranch> branches = {{TBrowseElement{}, 0}};
    const std::u16string base = BrowseBase();
    int branchCount = 0, pageCount = 0;
    bool limited = false;
    while (!branches.empty() && FItems.size() < static_cast<std::size_t>(FOptions.maxItems)) {
      const TBranch branch = branches.front();
      branches.pop_front();
      ++branchCount;
      std::u16string request = BrowseInto(base, branch.element);
      std::set<std::string> points;
      const std::string name = branch.element.itemName.empty() ? "(root)" : branch.element.itemName;
      for (;;) {
        const TExchange x = Send("Browse", request);
        ++pageCount;
        if (auto failed = Failed(x)) {
          return "browsing " + name + ": " + *failed;
        }
        const TReply& r = x.reply;
        if (!r.errors.empty()) {
          return "browsing " + name + ": " + r.errors.front().id.local;
        }
        if (r.elements.size() > static_cast<std::size_t>(FOptions.pageSize)) {
          return "browsing " + name + ": a page of " + std::to_string(r.elements.size()) +
                 " elements, more than MaxElementsReturned " + std::to_string(FOptions.pageSize);
        }
        for (const TBrowseElement& e : r.elements) {
          if (e.isItem && FItems.size() < static_cast<std::size_t>(FOptions.maxItems)) {
            FItems.push_back(ItemRefOf(e));
          }
          if (e.hasChildren) {
            if (branch.depth + 1 <= FOptions.maxDepth) {
              branches.push_back({e, branch.depth + 1});
            } else {
              limited = true;
            }
          }
        }
        const std::string point = r.continuationPoint.value_or("");
        if (!r.moreElements && point.empty()) {
          break;
        }
        if (point.empty()) {
          return "browsing " + name + ": MoreElements without a ContinuationPoint";
        }
        if (!points.insert(point).second ||
            points.size() > static_cast<std::size_t>(FOptions.maxItems / FOptions.pageSize + 2)) {
          return "browsing " + name + ": the continuation point never ends (\"" + point +
                 "\" again after " + std::to_string(points.size()) + " pages)";
        }
        if (FItems.size() >= static_cast<std::size_t>(FOptions.maxItems)) {
          limited = true;
          break;
        }
        request = NextBrowsePage(request, point);
      }
    }
    limited = limited || !branches.empty();
    FInfo = std::to_string(branchCount) + " branches, " + std::to_string(FItems.size()) +
            " items, " + std::to_string(pageCount) + " pages" +
            (limited ? "; stopped at the depth or item limit" : "");
    if (FItems.empty()) {
      return "no items found";
    }
    return {};
  }

  std::string Expecting(const TExchange& x, const char* code) {
    if (x.error) {
      return *x.error;
    }
    if (Names(x.reply, code) || FaultNames(x.reply, code)) {
      FInfo = code;
      return {};
    }
    std::string got = x.reply.fault ? "a fault " + x.reply.fault->codeText : "";
    for (const TError& e : x.reply.errors) {
      got += (got.empty() ? "" : ", ") + e.id.local;
    }
    return std::string("expected ") + code + ", got " + (got.empty() ? "no error" : got);
  }

  std::string BadContinuationPoint() {
    return Expecting(Send("Browse", NextBrowsePage(BrowseInto(BrowseBase(), {}),
                                                   "opcxmlda-cli:no-such-continuation-point")),
                     "E_INVALIDCONTINUATIONPOINT");
  }

  std::string BadFilter() {
    return Expecting(Send("Browse", SetRequestAttribute(BrowseInto(BrowseBase(), {}), u"Browse",
                                                        u"", u"ElementNameFilter", "[")),
                     "E_INVALIDFILTER");
  }

  std::string ReadFound() {
    if (FItems.empty()) {
      return "no items were found to read";
    }
    const TExchange x = Send("Read", ReadItems(Template("Read"), FItems));
    if (auto failed = Failed(x)) {
      return *failed;
    }
    const TReply& r = x.reply;
    if (r.items.size() != FItems.size()) {
      return std::to_string(FItems.size()) + " items asked, " + std::to_string(r.items.size()) +
             " in the reply";
    }
    std::vector<std::string> wrong;
    std::map<std::string, int> types;
    for (std::size_t i = 0; i < r.items.size(); ++i) {
      const TItem& item = r.items[i];
      const std::string name = FItems[i].itemName;
      if (item.result && item.result->IsError()) {
        wrong.push_back(name + ": " + item.result->id.local);
        continue;
      }
      if (!item.value.present) {
        wrong.push_back(name + ": no value");
      } else if (item.value.kind == TValueType::None || item.value.kind == TValueType::Other) {
        wrong.push_back(name + ": value type \"" + item.value.typeText + "\" not of the schema");
      }
      if (!item.timestamp) {
        wrong.push_back(name + ": no timestamp although ReturnItemTime was asked");
      }
      if (item.quality && QualityClassOf(item.quality->qualityField) != TQualityClass::Good) {
        types["quality " + item.quality->qualityField]++;
      }
      types[item.value.typeText]++;
    }
    for (const auto& [type, count] : types) {
      FInfo += (FInfo.empty() ? "" : ", ") + std::to_string(count) + " " + type;
    }
    return Join(wrong);
  }

  std::string ReadExpecting(const std::string& name, const char* code) {
    const TExchange x = Send("Read", ReadItems(Template("Read"), {{"", name, "1"}}));
    if (auto failed = Failed(x)) {
      return *failed;
    }
    if (x.reply.items.size() != 1) {
      return "1 item asked, " + std::to_string(x.reply.items.size()) + " in the reply";
    }
    const std::string got = Code(x.reply.items[0].result);
    if (got != code) {
      return std::string("expected ") + code + ", got " + got;
    }
    FInfo = code;
    return {};
  }

  std::string PastDeadline() {
    if (FItems.empty()) {
      return "no items were found to read";
    }
    const std::u16string request =
        SetRequestAttribute(ReadItems(Template("Read"), {FItems.front()}), u"Read", u"Options",
                            u"RequestDeadline", "#now-1#");
    const TExchange x = Send("Read", request);
    if (x.error) {
      return *x.error;
    }
    if (FaultNames(x.reply, "E_TIMEDOUT") || Names(x.reply, "E_TIMEDOUT")) {
      FInfo = "E_TIMEDOUT";
      return {};
    }
    for (const TItem& item : x.reply.items) {
      if (Code(item.result) != "E_TIMEDOUT") {
        return "expected E_TIMEDOUT, got " + Code(item.result);
      }
    }
    if (x.reply.items.empty()) {
      return "expected E_TIMEDOUT, got no items and no error";
    }
    FInfo = "E_TIMEDOUT";
    return {};
  }

  std::string Properties() {
    if (FItems.empty()) {
      return "no items were found";
    }
    const TExchange x = Send("GetProperties", GetPropertiesOf(Template("GetProperties"), FItems));
    if (auto failed = Failed(x)) {
      return *failed;
    }
    const TReply& r = x.reply;
    if (r.propertyLists.size() != FItems.size()) {
      return std::to_string(FItems.size()) + " items asked, " +
             std::to_string(r.propertyLists.size()) + " property lists in the reply";
    }
    std::vector<std::string> wrong;
    std::size_t count = 0;
    for (std::size_t i = 0; i < r.propertyLists.size(); ++i) {
      const TPropertyList& list = r.propertyLists[i];
      if (list.result && list.result->IsError()) {
        wrong.push_back(FItems[i].itemName + ": " + list.result->id.local);
        continue;
      }
      if (list.properties.empty()) {
        wrong.push_back(FItems[i].itemName + ": no properties");
      }
      for (const TProperty& p : list.properties) {
        ++count;
        if (p.result && p.result->IsError()) {
          wrong.push_back(FItems[i].itemName + " " + p.name.local + ": " + p.result->id.local);
        }
        if (p.name.local == "accessRights" &&
            p.value.scalar.text.find("ritable") != std::string::npos) {
          FWritable.push_back(FItems[i]);
        }
      }
    }
    FInfo = std::to_string(count) + " properties, " + std::to_string(FWritable.size()) +
            " items writable";
    return Join(wrong);
  }

  std::string Subscribe() {
    if (FItems.empty()) {
      return "no items were found";
    }
    std::vector<TItemRef> items(
        FItems.begin(),
        FItems.begin() + static_cast<std::ptrdiff_t>(std::min(kSubscribedItems, FItems.size())));
    const TExchange x = Send("Subscribe", SubscribeItems(Template("Subscribe"), items));
    if (auto failed = Failed(x)) {
      return *failed;
    }
    if (!x.reply.serverSubHandle) {
      return "no ServerSubHandle";
    }
    std::vector<std::string> wrong;
    for (const TItem& item : x.reply.items) {
      if (item.result && item.result->IsError()) {
        wrong.push_back(item.itemName.value_or("?") + ": " + item.result->id.local);
      } else {
        ++FSubscribed;
      }
    }
    FHandle = x.reply.serverSubHandle;
    FInfo = std::to_string(FSubscribed) + " items, ServerSubHandle " + *FHandle;
    return Join(wrong);
  }

  // A refresh of the subscription, and how long it took from just before it was composed.
  std::pair<TExchange, double> Poll(std::string_view hold, std::string_view wait, bool all) {
    std::u16string request = PollSubscription(Template("SubscriptionPolledRefresh"), *FHandle);
    request = SetRequestAttribute(request, u"SubscriptionPolledRefresh", u"", u"HoldTime", hold);
    request = SetRequestAttribute(request, u"SubscriptionPolledRefresh", u"", u"WaitTime", wait);
    request = SetRequestAttribute(request, u"SubscriptionPolledRefresh", u"", u"ReturnAllItems",
                                  all ? "true" : "false");
    const auto started = std::chrono::steady_clock::now();
    TExchange x = Send("SubscriptionPolledRefresh", request);
    return {std::move(x),
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()};
  }

  std::string PollHeld() {
    if (!FHandle) {
      return "no subscription";
    }
    // The hold time is filled one second ahead of our clock when the request is composed, which
    // is after started; the server reads it by its own clock, so a server ahead of ours may
    // answer that much sooner.
    const auto [x, seconds] = Poll("#now+1#", "0", true);
    if (auto failed = Failed(x)) {
      return *failed;
    }
    std::vector<std::string> wrong;
    constexpr double kClockStep = 0.02; // the hold time is written in milliseconds
    const double due = 1.0 - FClockOffset;
    if (seconds < due - kClockStep - FClockUncertainty) {
      wrong.push_back("answered after " + Fixed(seconds) + " s, before the HoldTime " + Fixed(due) +
                      " s ahead by the server's clock");
    } else if (seconds > std::max(due, 0.0) + FOptions.holdTolerance + FClockUncertainty) {
      wrong.push_back("answered after " + Fixed(seconds) + " s, later than the HoldTime " +
                      Fixed(due) + " s ahead by the server's clock and the tolerance " +
                      Fixed(FOptions.holdTolerance, "%g") + " s");
    }
    if (!x.reply.invalidServerSubHandles.empty()) {
      wrong.push_back("the new subscription is reported invalid");
    }
    if (x.reply.items.size() != FSubscribed) {
      wrong.push_back("ReturnAllItems gave " + std::to_string(x.reply.items.size()) + " of " +
                      std::to_string(FSubscribed) + " items");
    }
    FInfo = "answered after " + Fixed(seconds) + " s with " + std::to_string(x.reply.items.size()) +
            " items";
    return Join(wrong);
  }

  std::string PollWaiting() {
    if (!FHandle) {
      return "no subscription";
    }
    constexpr double kWait = 2.0;
    const auto [x, seconds] = Poll("#now#", "2000", false);
    if (auto failed = Failed(x)) {
      return *failed;
    }
    FInfo = "answered after " + Fixed(seconds) + " s with " + std::to_string(x.reply.items.size()) +
            " changed items";
    if (seconds > kWait + FOptions.holdTolerance) {
      return "answered after " + Fixed(seconds) +
             " s, later than the WaitTime of 2 s and the "
             "tolerance " +
             Fixed(FOptions.holdTolerance, "%g") + " s";
    }
    return {};
  }

  std::string Cancel() {
    if (!FHandle) {
      return "no subscription";
    }
    const TExchange x =
        Send("SubscriptionCancel", CancelSubscription(Template("SubscriptionCancel"), *FHandle));
    if (auto failed = Failed(x)) {
      return *failed;
    }
    return {};
  }

  std::string PollCancelled() {
    if (!FHandle) {
      return "no subscription";
    }
    const auto [x, seconds] = Poll("#now#", "0", true);
    if (x.error) {
      return *x.error;
    }
    for (const std::string& handle : x.reply.invalidServerSubHandles) {
      if (handle == *FHandle) {
        FInfo = "InvalidServerSubHandles names " + handle;
        return {};
      }
    }
    if (auto failed = Failed(x)) {
      return "expected InvalidServerSubHandles, got " + *failed;
    }
    return "the cancelled handle " + *FHandle + " is not reported invalid (" +
           std::to_string(x.reply.items.size()) + " items returned)";
  }

  std::string WriteBack() {
    std::vector<TItemRef> targets;
    for (const std::string& name : FOptions.writeItems) {
      targets.push_back({"", name, ""});
    }
    if (targets.empty()) {
      targets.assign(FWritable.begin(), FWritable.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                kWrittenItems, FWritable.size())));
    }
    if (targets.empty()) {
      FInfo = "no writable items named or reported";
      return {};
    }
    const TExchange before = Send("Read", ReadItems(Template("Read"), targets));
    if (auto failed = Failed(before)) {
      return "reading before the write: " + *failed;
    }
    std::vector<TWriteItem> writes;
    for (std::size_t i = 0; i < before.reply.items.size() && i < targets.size(); ++i) {
      if (before.reply.items[i].result && before.reply.items[i].result->IsError()) {
        return targets[i].itemName + " cannot be read: " + before.reply.items[i].result->id.local;
      }
      writes.push_back({targets[i], before.reply.items[i].value});
    }
    const TExchange written = Send("Write", WriteItems(Template("Write"), writes));
    if (auto failed = Failed(written)) {
      return *failed;
    }
    std::vector<std::string> wrong;
    for (const TItem& item : written.reply.items) {
      if (item.result && item.result->IsError()) {
        wrong.push_back(item.itemName.value_or("?") + ": " + item.result->id.local);
      }
    }
    const TExchange after = Send("Read", ReadItems(Template("Read"), targets));
    if (auto failed = Failed(after)) {
      return "reading back: " + *failed;
    }
    for (std::size_t i = 0; i < after.reply.items.size() && i < writes.size(); ++i) {
      if (ValueText(after.reply.items[i].value) != ValueText(writes[i].value)) {
        wrong.push_back(targets[i].itemName + ": wrote " + ValueText(writes[i].value) +
                        ", read back " + ValueText(after.reply.items[i].value));
      }
    }
    FInfo = std::to_string(writes.size()) + " items written with their own values and read back";
    return Join(wrong);
  }
};

} // namespace

int RunCheck(const TOptions& options, const std::filesystem::path& templates, std::ostream& out,
             std::ostream& err) {
  const TScopedCredentials credentials(options.user, options.password);
  TCheckRun run(options, templates, out);
  try {
    run.Prepare();
  } catch (const std::exception& error) {
    err << "opcxmlda-cli: " << error.what() << "\n";
    return kExitFile;
  }
  out << "Checking " << options.url << "\n";
  try {
    run.Run();
  } catch (const std::exception& error) {
    err << "opcxmlda-cli: " << error.what() << "\n";
    return kExitFile;
  }
  std::size_t failed = 0;
  for (const TStepResult& step : run.Steps()) {
    failed += step.passed ? 0 : 1;
  }
  out << "\n" << run.Steps().size() - failed << " of " << run.Steps().size() << " steps passed";
  out << (failed ? ", " + std::to_string(failed) + " failed.\n" : ".\n");
  if (!options.junit.empty()) {
    std::ofstream file(options.junit, std::ios::binary | std::ios::trunc);
    file << JunitXml("opcxmlda-cli check " + options.url, run.Steps());
    if (!file.flush()) {
      err << "opcxmlda-cli: cannot write the JUnit file " << options.junit << "\n";
      return kExitFile;
    }
  }
  return failed ? kExitCheckFailed : kExitOk;
}

} // namespace opc::cli
