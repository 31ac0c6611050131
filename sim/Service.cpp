#include "sim/Service.h"

#include "sim/XmlChars.h"
#include "sim/XmlWriter.h"

#include <algorithm>
#include <cstring>
#include <pugixml.hpp>
#include <set>

namespace opc::sim {

namespace {

constexpr char kSoap12Namespace[] = "http://www.w3.org/2003/05/soap-envelope";

// A request the operation cannot answer with a reply: it is answered with this SOAP fault.
struct TFault {
  std::string code;
  std::string text;
};
constexpr char kXsdNamespace[] = "http://www.w3.org/2001/XMLSchema";

const char* LocalName(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

// The namespace of a prefixed name, from the xmlns declarations in scope.
std::string NamespaceOf(pugi::xml_node node, const std::string& qname) {
  const std::size_t colon = qname.find(':');
  const std::string attribute =
      colon == std::string::npos ? "xmlns" : "xmlns:" + qname.substr(0, colon);
  for (; node; node = node.parent()) {
    if (pugi::xml_attribute a = node.attribute(attribute.c_str())) {
      return a.value();
    }
  }
  return {};
}

pugi::xml_node Child(pugi::xml_node parent, const char* local) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element && std::strcmp(LocalName(child.name()), local) == 0) {
      return child;
    }
  }
  return {};
}

std::vector<pugi::xml_node> Children(pugi::xml_node parent, const char* local) {
  std::vector<pugi::xml_node> found;
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element && std::strcmp(LocalName(child.name()), local) == 0) {
      found.push_back(child);
    }
  }
  return found;
}

bool Flag(pugi::xml_node node, const char* name, bool fallback) {
  const pugi::xml_attribute a = node.attribute(name);
  if (!a) {
    return fallback;
  }
  const std::string v = a.value();
  return v == "true" || v == "1";
}

std::string Envelope(const std::string& body) {
  return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>") +
         "<soap:Envelope xmlns:soap=\"" + kSoap11Namespace +
         "\" xmlns:xsi=\"http://www.w3.org/2001/"
         "XMLSchema-instance\" xmlns:xsd=\"" +
         kXsdNamespace + "\"><soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

const char* ErrorText(const std::string& id) {
  static const std::map<std::string, const char*> texts = {
      {"E_UNKNOWNITEMNAME", "The item name is not known to the server."},
      {"E_UNKNOWNITEMPATH", "The item path is not known to the server."},
      {"E_INVALIDITEMNAME", "The item name is empty or not valid."},
      {"E_READONLY", "The item cannot be written."},
      {"E_BADTYPE", "The value is not of the item's type, or cannot be converted to it."},
      {"E_TIMEDOUT", "The request deadline had passed before the server could answer."},
      {"E_INVALIDCONTINUATIONPOINT", "The continuation point is not valid."},
      {"E_INVALIDFILTER", "The element name filter is not valid."},
      {"E_INVALIDHOLDTIME", "The hold time is not valid or too far ahead."},
      {"E_NOSUBSCRIPTION", "The subscription handle is not known to the server."},
      {"E_INVALIDPID", "The property is not known to the server."},
  };
  const auto found = texts.find(id);
  return found == texts.end() ? "Error" : found->second;
}

// Wildcards of ElementNameFilter: "*" any run, "?" one character.
bool Matches(const char* pattern, const char* text) {
  if (*pattern == '\0') {
    return *text == '\0';
  }
  if (*pattern == '*') {
    return Matches(pattern + 1, text) || (*text && Matches(pattern, text + 1));
  }
  return *text && (*pattern == '?' || *pattern == *text) && Matches(pattern + 1, text + 1);
}

void WriteValue(TXmlWriter& w, const TValue& value) {
  w.Open("Value").Attr("xsi:type", value.type);
  if (value.elementName.empty()) {
    w.Text(value.text);
  } else {
    for (const std::string& element : value.elements) {
      w.Element(value.elementName, element);
    }
  }
  w.Close();
}

} // namespace

std::string SoapFault(const std::string& code, const std::string& text) {
  TXmlWriter w;
  w.Open("soap:Fault").Element("faultcode", code).Element("faultstring", text).Close();
  return Envelope(w.Take());
}

// One request: its operation element, when it came, and the errors its reply lists at the end.
class TRequestContext {
public:
  pugi::xml_node request;
  std::string received = XsdNow();
  std::map<std::string, bool> errors; // ID -> listed
  bool errorText = true;
  bool itemTime = false;
  bool itemName = false;
  bool itemPath = false;
  std::optional<TClock::time_point> deadline;

  // What the request's Options ask of every item in the reply.
  void ReadOptions(pugi::xml_node options) {
    if (const pugi::xml_attribute a = options.attribute("RequestDeadline")) {
      deadline = ParseXsdTime(a.value());
      if (!deadline) {
        throw TFault{"soap:Client",
                     std::string("RequestDeadline is not an xsd:dateTime: \"") + a.value() + "\""};
      }
    }
    errorText = Flag(options, "ReturnErrorText", true);
    itemTime = Flag(options, "ReturnItemTime", false);
    itemName = Flag(options, "ReturnItemName", false);
    itemPath = Flag(options, "ReturnItemPath", false);
  }
  void ItemHead(TXmlWriter& w, const std::string& name, const std::string& path,
                const std::string& clientHandle) const {
    if (itemName) {
      w.Attr("ItemName", name);
    }
    if (itemPath) {
      w.Attr("ItemPath", path);
    }
    if (!clientHandle.empty()) {
      w.Attr("ClientItemHandle", clientHandle);
    }
  }
  void ItemResult(TXmlWriter& w, const std::string& result) {
    w.Attr("ResultID", result);
    errors[result] = true;
  }
  void ItemValue(TXmlWriter& w, const TValue& value) const {
    if (itemTime) {
      w.Attr("Timestamp", XsdNow());
    }
    WriteValue(w, value);
  }

  void ReplyBase(TXmlWriter& w, const char* name, const std::string& handle,
                 const std::string& locale) const {
    w.Open(name).Attr("RcvTime", received).Attr("ReplyTime", XsdNow());
    if (!handle.empty()) {
      w.Attr("ClientRequestHandle", handle);
    }
    if (!locale.empty() && locale != "en-us" && locale != "en") {
      w.Attr("RevisedLocaleID", "en-us");
    }
    w.Attr("ServerState", "running").Close();
  }
  void Errors(TXmlWriter& w) const {
    for (const auto& [id, listed] : errors) {
      w.Open("Errors").Attr("ID", id);
      if (errorText) {
        w.Element("Text", ErrorText(id));
      }
      w.Close();
    }
  }
  // The xsi:type of a value element, with the schema's prefix whatever the client called it.
  std::string ValueType(pugi::xml_node value) const {
    const std::string type = value.attribute("xsi:type").value();
    if (type.empty()) {
      return {};
    }
    const std::size_t colon = type.find(':');
    const std::string local = colon == std::string::npos ? type : type.substr(colon + 1);
    return NamespaceOf(value, type) == kXsdNamespace ? "xsd:" + local : local;
  }
};

TService::TService() : TService(TSubscriptionStore::TLimits{}) {}

TService::TService(TSubscriptionStore::TLimits limits)
    : FStartTime(XsdNow()), FSubscriptions(limits) {}

TReply TService::Handle(const std::string& soapAction, const std::string& body) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_auto);
  if (!parsed) {
    return {500, SoapFault("soap:Client", std::string("The request is not well-formed XML: ") +
                                              parsed.description() + " at offset " +
                                              std::to_string(parsed.offset))};
  }
  // The parser takes any bytes as UTF-8 and drops lone surrogates of UTF-16; XML takes neither,
  // and what it took would reach the reply.
  const bool utf16 =
      parsed.encoding == pugi::encoding_utf16_le || parsed.encoding == pugi::encoding_utf16_be;
  const std::size_t invalidAt =
      parsed.encoding == pugi::encoding_utf8 ? InvalidUtf8At(body)
      : utf16 ? InvalidUtf16At(body, parsed.encoding == pugi::encoding_utf16_be)
              : std::string::npos;
  if (invalidAt != std::string::npos) {
    return {500,
            SoapFault("soap:Client",
                      std::string("The request is not well-formed XML: the bytes at offset ") +
                          std::to_string(invalidAt) + " are not " + (utf16 ? "UTF-16" : "UTF-8"))};
  }
  const pugi::xml_node envelope = document.document_element();
  const std::string envelopeNamespace = NamespaceOf(envelope, envelope.name());
  if (std::strcmp(LocalName(envelope.name()), "Envelope") != 0 ||
      envelopeNamespace != kSoap11Namespace) {
    if (envelopeNamespace == kSoap12Namespace) {
      return {500, SoapFault("soap:VersionMismatch", "Only SOAP 1.1 envelopes are understood.")};
    }
    return {500, SoapFault("soap:Client", "The request is not a SOAP 1.1 envelope.")};
  }
  pugi::xml_node request;
  for (pugi::xml_node child : Child(envelope, "Body").children()) {
    if (child.type() == pugi::node_element) {
      request = child;
      break;
    }
  }
  std::string operation = soapAction;
  if (operation.size() >= 2 && operation.front() == '"' && operation.back() == '"') {
    operation = operation.substr(1, operation.size() - 2);
  }
  if (operation.rfind(kOpcNamespace, 0) == 0) {
    operation = operation.substr(std::strlen(kOpcNamespace));
  } else if (operation.empty() && request) {
    operation = LocalName(request.name());
  }
  if (!request) {
    return {500, SoapFault("soap:Client", "The SOAP Body holds no request.")};
  }
  FSubscriptions.Expire();
  TRequestContext c;
  c.request = request;
  TReply reply;
  try {
    if (operation == "GetStatus") {
      reply.body = GetStatus(c);
    } else if (operation == "Browse") {
      reply.body = Browse(c);
    } else if (operation == "Read") {
      reply.body = Read(c);
    } else if (operation == "Write") {
      reply.body = Write(c);
    } else if (operation == "GetProperties") {
      reply.body = GetProperties(c);
    } else if (operation == "Subscribe") {
      reply.body = Subscribe(c);
    } else if (operation == "SubscriptionPolledRefresh") {
      reply.body = PolledRefresh(c);
    } else if (operation == "SubscriptionCancel") {
      reply.body = Cancel(c);
    } else {
      return {500, SoapFault("soap:Client", "Unknown operation: " + operation)};
    }
  } catch (const TFault& fault) {
    return {500, SoapFault(fault.code, fault.text)};
  }
  reply.body = Envelope(reply.body);
  return reply;
}

void TService::Stop() {
  std::lock_guard lock(FStopMutex);
  FStopping = true;
  FStopped.notify_all();
}

bool TService::Pause(TClock::time_point until) {
  std::unique_lock lock(FStopMutex);
  return FStopped.wait_until(lock, until, [this] { return FStopping; });
}

std::string TService::GetStatus(TRequestContext& c) {
  TXmlWriter w;
  w.Open("GetStatusResponse").Attr("xmlns", kOpcNamespace);
  c.ReplyBase(w, "GetStatusResult", c.request.attribute("ClientRequestHandle").value(),
              c.request.attribute("LocaleID").value());
  w.Open("Status").Attr("StartTime", FStartTime).Attr("ProductVersion", "1.0.0");
  w.Element("StatusInfo", "Simulation running");
  w.Element("VendorInfo", "Quelm Tandrel simulation server");
  w.Element("SupportedLocaleIDs", "en-us");
  w.Element("SupportedInterfaceVersions", "XML_DA_Version_1_0");
  return w.Take();
}

namespace {

struct TPropertySet {
  bool all = false;
  bool values = false;
  std::vector<std::string> names;
};

TPropertySet PropertiesAsked(pugi::xml_node request) {
  TPropertySet set{Flag(request, "ReturnAllProperties", false),
                   Flag(request, "ReturnPropertyValues", false),
                   {}};
  for (pugi::xml_node name : Children(request, "PropertyNames")) {
    set.names.push_back(LocalName(name.child_value()));
  }
  return set;
}

void WriteProperties(TXmlWriter& w, const TAddressSpace& space, const TItem& item,
                     const TPropertySet& asked, TRequestContext& c) {
  static const char* const kStandard[] = {"dataType",     "value",    "quality",    "timestamp",
                                          "accessRights", "scanRate", "description"};
  std::vector<std::string> names;
  if (asked.all) {
    names.assign(std::begin(kStandard), std::end(kStandard));
  } else {
    names = asked.names;
  }
  for (const std::string& name : names) {
    w.Open("Properties").Attr("Name", name);
    const bool known =
        std::find(std::begin(kStandard), std::end(kStandard), name) != std::end(kStandard);
    if (!known) {
      w.Attr("ResultID", "E_INVALIDPID").Close();
      c.errors["E_INVALIDPID"] = true;
      continue;
    }
    if (asked.values) {
      if (name == "dataType") {
        WriteValue(w, TValue{"xsd:QName",
                             item.value.type.find(':') == std::string::npos ? item.value.type
                                                                            : item.value.type,
                             {},
                             {}});
      } else if (name == "value") {
        WriteValue(w, space.Read(item));
      } else if (name == "quality") {
        w.Open("Value").Attr("xsi:type", "OPCQuality").Attr("QualityField", "good").Close();
      } else if (name == "timestamp") {
        WriteValue(w, TValue{"xsd:dateTime", XsdNow(), {}, {}});
      } else if (name == "accessRights") {
        WriteValue(w, TValue{"xsd:string",
                             item.kind == TKind::Writable ? "readWritable" : "readable",
                             {},
                             {}});
      } else if (name == "scanRate") {
        WriteValue(w, TValue{"xsd:float", "100", {}, {}});
      } else {
        WriteValue(w, TValue{"xsd:string", item.description, {}, {}});
      }
    }
    w.Close();
  }
}

} // namespace

std::string TService::Browse(TRequestContext& c) {
  const pugi::xml_node r = c.request;
  c.errorText = Flag(r, "ReturnErrorText", false);
  const std::string name = r.attribute("ItemName").value();
  const std::string path = r.attribute("ItemPath").value();
  const std::string filter =
      r.attribute("BrowseFilter").empty() ? "all" : r.attribute("BrowseFilter").value();
  const std::string nameFilter = r.attribute("ElementNameFilter").value();
  const int max = r.attribute("MaxElementsReturned").as_int(0);
  const std::string continuation = r.attribute("ContinuationPoint").value();
  const TPropertySet asked = PropertiesAsked(r);

  TXmlWriter w;
  w.Open("BrowseResponse").Attr("xmlns", kOpcNamespace);
  const TBranch* branch = path.empty() ? FSpace.FindBranch(name) : nullptr;
  std::vector<const TBranch*> matching;
  std::size_t start = 0;
  std::string error;
  if (!path.empty()) {
    error = "E_UNKNOWNITEMPATH";
  } else if (!branch) {
    error = "E_UNKNOWNITEMNAME";
  } else if (nameFilter.find('[') != std::string::npos &&
             nameFilter.find(']', nameFilter.find('[')) == std::string::npos) {
    error = "E_INVALIDFILTER"; // a character list that is never closed
  } else {
    for (const auto& [key, child] : branch->children) {
      const bool hasChildren = !child->children.empty();
      if ((filter == "branch" && !hasChildren) || (filter == "item" && !child->item)) {
        continue;
      }
      if (!nameFilter.empty() && !Matches(nameFilter.c_str(), child->name.c_str())) {
        continue;
      }
      matching.push_back(child.get());
    }
    if (!continuation.empty()) {
      const std::string expected = name + "|" + filter + "|" + nameFilter + "|";
      char* end = nullptr;
      const unsigned long at = continuation.rfind(expected, 0) == 0
                                   ? std::strtoul(continuation.c_str() + expected.size(), &end, 10)
                                   : 0;
      if (!end || *end != '\0' || at > matching.size()) {
        error = "E_INVALIDCONTINUATIONPOINT";
      } else {
        start = at;
      }
    }
  }
  std::size_t stop = matching.size();
  if (error.empty() && max > 0 && start + static_cast<std::size_t>(max) < matching.size()) {
    stop = start + static_cast<std::size_t>(max);
    w.Attr("ContinuationPoint",
           name + "|" + filter + "|" + nameFilter + "|" + std::to_string(stop));
    w.Attr("MoreElements", "true");
  }
  c.ReplyBase(w, "BrowseResult", r.attribute("ClientRequestHandle").value(),
              r.attribute("LocaleID").value());
  if (!error.empty()) {
    c.errors[error] = true;
  } else {
    for (std::size_t i = start; i < stop; ++i) {
      const TBranch* element = matching[i];
      w.Open("Elements")
          .Attr("Name", element->name)
          .Attr("ItemPath", "")
          .Attr("ItemName", element->fullName);
      w.Attr("IsItem", element->item ? "true" : "false");
      w.Attr("HasChildren", element->children.empty() ? "false" : "true");
      if (element->item) {
        WriteProperties(w, FSpace, *element->item, asked, c);
      }
      w.Close();
    }
  }
  c.Errors(w);
  return w.Take();
}

std::string TService::Read(TRequestContext& c) {
  const pugi::xml_node options = Child(c.request, "Options");
  const pugi::xml_node list = Child(c.request, "ItemList");
  c.ReadOptions(options);
  const bool late = c.deadline && *c.deadline < TClock::now();

  TXmlWriter w;
  w.Open("ReadResponse").Attr("xmlns", kOpcNamespace);
  c.ReplyBase(w, "ReadResult", options.attribute("ClientRequestHandle").value(),
              options.attribute("LocaleID").value());
  w.Open("RItemList");
  for (pugi::xml_node entry : Children(list, "Items")) {
    const std::string name = entry.attribute("ItemName").value();
    const std::string path = entry.attribute("ItemPath") ? entry.attribute("ItemPath").value()
                                                         : list.attribute("ItemPath").value();
    std::string reqType = entry.attribute("ReqType") ? entry.attribute("ReqType").value()
                                                     : list.attribute("ReqType").value();
    const TItem* item = FSpace.Find(name);
    std::string result;
    if (late) {
      result = "E_TIMEDOUT";
    } else if (name.empty()) {
      result = "E_INVALIDITEMNAME";
    } else if (!path.empty()) {
      result = "E_UNKNOWNITEMPATH";
    } else if (!item) {
      result = "E_UNKNOWNITEMNAME";
    }
    TValue value;
    if (result.empty()) {
      value = FSpace.Read(*item);
      const std::size_t colon = reqType.find(':');
      const std::string wanted = reqType.empty() ? "" : "xsd:" + reqType.substr(colon + 1);
      if (!reqType.empty() && wanted != value.type) {
        if (wanted == "xsd:string" && value.elementName.empty()) {
          value.type = wanted;
        } else {
          result = "E_BADTYPE";
        }
      }
    }
    w.Open("Items");
    c.ItemHead(w, name, path, entry.attribute("ClientItemHandle").value());
    if (!result.empty()) {
      c.ItemResult(w, result);
    } else {
      c.ItemValue(w, value);
    }
    w.Close();
  }
  w.Close();
  c.Errors(w);
  return w.Take();
}

std::string TService::Write(TRequestContext& c) {
  const pugi::xml_node options = Child(c.request, "Options");
  const pugi::xml_node list = Child(c.request, "ItemList");
  c.ReadOptions(options);
  const bool values = Flag(c.request, "ReturnValuesOnReply", false);

  TXmlWriter w;
  w.Open("WriteResponse").Attr("xmlns", kOpcNamespace);
  c.ReplyBase(w, "WriteResult", options.attribute("ClientRequestHandle").value(),
              options.attribute("LocaleID").value());
  w.Open("RItemList");
  for (pugi::xml_node entry : Children(list, "Items")) {
    const std::string name = entry.attribute("ItemName").value();
    const TItem* item = FSpace.Find(name);
    std::string result;
    if (name.empty()) {
      result = "E_INVALIDITEMNAME";
    } else if (!item) {
      result = "E_UNKNOWNITEMNAME";
    } else {
      const pugi::xml_node valueNode = Child(entry, "Value");
      const TValue value{c.ValueType(valueNode), valueNode.child_value(), {}, {}};
      if (auto error = FSpace.Write(*item, value)) {
        result = *error;
      }
    }
    w.Open("Items");
    c.ItemHead(w, name, entry.attribute("ItemPath").value(),
               entry.attribute("ClientItemHandle").value());
    if (!result.empty()) {
      c.ItemResult(w, result);
    } else if (values) {
      c.ItemValue(w, FSpace.Read(*item));
    }
    w.Close();
  }
  w.Close();
  c.Errors(w);
  return w.Take();
}

std::string TService::GetProperties(TRequestContext& c) {
  const pugi::xml_node r = c.request;
  c.errorText = Flag(r, "ReturnErrorText", false);
  const TPropertySet asked = PropertiesAsked(r);
  const std::string listPath = r.attribute("ItemPath").value();
  TXmlWriter w;
  w.Open("GetPropertiesResponse").Attr("xmlns", kOpcNamespace);
  c.ReplyBase(w, "GetPropertiesResult", r.attribute("ClientRequestHandle").value(),
              r.attribute("LocaleID").value());
  for (pugi::xml_node id : Children(r, "ItemIDs")) {
    const std::string name = id.attribute("ItemName").value();
    const std::string path = id.attribute("ItemPath") ? id.attribute("ItemPath").value() : listPath;
    w.Open("PropertyLists").Attr("ItemName", name);
    const TItem* item = FSpace.Find(name);
    const char* result = !path.empty() ? "E_UNKNOWNITEMPATH"
                         : !item       ? "E_UNKNOWNITEMNAME"
                                       : nullptr;
    if (result) {
      w.Attr("ResultID", result);
      c.errors[result] = true;
    } else {
      WriteProperties(w, FSpace, *item, asked, c);
    }
    w.Close();
  }
  c.Errors(w);
  return w.Take();
}

std::string TService::Subscribe(TRequestContext& c) {
  const pugi::xml_node options = Child(c.request, "Options");
  const pugi::xml_node list = Child(c.request, "ItemList");
  c.ReadOptions(options);
  const bool values = Flag(c.request, "ReturnValuesOnReply", false);
  const int samplingMs = std::max(100, list.attribute("RequestedSamplingRate").as_int(500));
  const int pingRateMs = c.request.attribute("SubscriptionPingRate").as_int(0);
  const std::size_t asked = Children(list, "Items").size();
  if (asked > kMaxSubscribedItems) {
    throw TFault{"soap:Client", "E_OUTOFMEMORY: A subscription takes at most " +
                                    std::to_string(kMaxSubscribedItems) +
                                    " items; this one asks for " + std::to_string(asked) + "."};
  }

  struct TEntry {
    std::string name, clientHandle;
    const char* result;
    std::optional<TValue> value;
  };
  std::vector<TEntry> entries;
  std::vector<TSubscribedItem> items;
  TSubscription::TChanges sent;
  for (pugi::xml_node item : Children(list, "Items")) {
    TEntry entry{item.attribute("ItemName").value(), item.attribute("ClientItemHandle").value(),
                 nullptr, std::nullopt};
    const TItem* found = FSpace.Find(entry.name);
    entry.result = entry.name.empty() ? "E_INVALIDITEMNAME"
                   : !found           ? "E_UNKNOWNITEMNAME"
                                      : nullptr;
    if (!entry.result) {
      if (values) {
        entry.value = FSpace.Read(*found);
        sent.emplace_back(items.size(), *entry.value);
      }
      items.push_back({found, entry.name, entry.clientHandle});
    }
    entries.push_back(std::move(entry));
  }
  auto subscription = std::make_shared<TSubscription>(std::move(items), samplingMs);
  subscription->MarkSent(sent);
  // The client pings by polling: heard of less often than its ping rate, it is taken for gone
  // and the subscription ends. Without a ping rate the server's own applies.
  const auto lifetime = pingRateMs > 0 ? std::chrono::milliseconds(pingRateMs) : kDefaultPingRate;
  const std::optional<std::string> handle = FSubscriptions.Add(subscription, lifetime);
  if (!handle) {
    throw TFault{"soap:Server",
                 "E_OUTOFMEMORY: The server holds as many subscriptions as it takes (at most " +
                     std::to_string(FSubscriptions.Limits().subscriptions) + ", " +
                     std::to_string(FSubscriptions.Limits().bytes >> 20) +
                     " MiB in all); cancel one first."};
  }
  TXmlWriter w;
  w.Open("SubscribeResponse").Attr("xmlns", kOpcNamespace).Attr("ServerSubHandle", *handle);
  c.ReplyBase(w, "SubscribeResult", options.attribute("ClientRequestHandle").value(),
              options.attribute("LocaleID").value());
  w.Open("RItemList").Attr("RevisedSamplingRate", std::to_string(samplingMs));
  for (const TEntry& entry : entries) {
    w.Open("Items").Open("ItemValue");
    c.ItemHead(w, entry.name, "", entry.clientHandle);
    if (entry.result) {
      c.ItemResult(w, entry.result);
    } else if (entry.value) {
      c.ItemValue(w, *entry.value);
    }
    w.Close().Close();
  }
  w.Close();
  c.Errors(w);
  return w.Take();
}

std::string TService::PolledRefresh(TRequestContext& c) {
  const pugi::xml_node options = Child(c.request, "Options");
  c.ReadOptions(options);
  const bool all = Flag(c.request, "ReturnAllItems", false);
  const int waitMs = std::clamp(c.request.attribute("WaitTime").as_int(0), 0, 300'000);
  const std::string holdText = c.request.attribute("HoldTime").value();
  const auto hold =
      holdText.empty() ? std::optional<TClock::time_point>(TClock::now()) : ParseXsdTime(holdText);
  const bool holdValid = hold && *hold < TClock::now() + std::chrono::minutes(10);

  // The subscriptions are held for the whole refresh: a cancel meanwhile takes them out of the
  // store, and this reply still reports on them as they were asked for.
  struct TPolled {
    std::string handle;
    std::shared_ptr<TSubscription> subscription;
    TSubscription::TChanges changes;
  };
  std::vector<TPolled> polled;
  std::vector<std::string> invalid;
  int sampling = 1000;
  for (pugi::xml_node h : Children(c.request, "ServerSubHandles")) {
    const std::string handle = h.child_value();
    if (auto subscription = FSubscriptions.Touch(handle)) {
      sampling = std::min(sampling, subscription->SamplingMs());
      polled.push_back({handle, std::move(subscription), {}});
    } else {
      invalid.push_back(handle);
    }
  }

  // Not before the hold time; then as soon as a value changes, or when the wait time is over.
  if (holdValid) {
    bool stopping = Pause(std::max(*hold, TClock::now()));
    const auto waitEnd = TClock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
      bool any = false;
      for (TPolled& p : polled) {
        p.changes = p.subscription->Changes(FSpace, all);
        any = any || !p.changes.empty();
      }
      if (stopping || any || all || TClock::now() >= waitEnd) {
        break;
      }
      stopping = Pause(std::min(waitEnd, TClock::now() + std::chrono::milliseconds(sampling)));
    }
  }

  TXmlWriter w;
  w.Open("SubscriptionPolledRefreshResponse").Attr("xmlns", kOpcNamespace);
  c.ReplyBase(w, "SubscriptionPolledRefreshResult",
              options.attribute("ClientRequestHandle").value(),
              options.attribute("LocaleID").value());
  for (const std::string& handle : invalid) {
    w.Element("InvalidServerSubHandles", handle);
  }
  if (!holdValid) {
    c.errors["E_INVALIDHOLDTIME"] = true;
  } else {
    for (TPolled& p : polled) {
      w.Open("RItemList").Attr("SubscriptionHandle", p.handle);
      for (const auto& [index, value] : p.changes) {
        const TSubscribedItem& item = p.subscription->Items()[index];
        w.Open("Items");
        c.ItemHead(w, item.itemName, "", item.clientHandle);
        c.ItemValue(w, value);
        w.Close();
      }
      w.Close();
      p.subscription->MarkSent(p.changes);
    }
  }
  for (TPolled& p : polled) {
    p.subscription.reset();
    FSubscriptions.Touch(p.handle); // the client was there until the reply
  }
  c.Errors(w);
  return w.Take();
}

std::string TService::Cancel(TRequestContext& c) {
  const std::string handle = c.request.attribute("ServerSubHandle").value();
  if (!FSubscriptions.Remove(handle)) {
    throw TFault{"soap:Client", std::string("E_NOSUBSCRIPTION: ") + ErrorText("E_NOSUBSCRIPTION")};
  }
  TXmlWriter w;
  w.Open("SubscriptionCancelResponse").Attr("xmlns", kOpcNamespace);
  if (!c.request.attribute("ClientRequestHandle").empty()) {
    w.Attr("ClientRequestHandle", c.request.attribute("ClientRequestHandle").value());
  }
  return w.Take();
}

} // namespace opc::sim
