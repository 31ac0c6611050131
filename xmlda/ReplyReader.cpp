#include "xmlda/ReplyReader.h"

#include "xmlda/NamespaceScope.h"

#include <algorithm>
#include <cstring>
#include <expat.h>

namespace opc::xmlda {

namespace {

// Expat joins namespace and local name with this character, which no XML text can hold.
constexpr char kSeparator = '\x01';
constexpr std::size_t kMaxDepth = 1000;
constexpr std::size_t kMaxText = 64u << 20;
constexpr std::size_t kMaxProblems = 1000;

struct TName {
  std::string_view ns;
  std::string_view local;
};

TName Split(const char* expanded) {
  const char* sep = std::strchr(expanded, kSeparator);
  if (!sep) {
    return {"", expanded};
  }
  return {std::string_view(expanded, static_cast<std::size_t>(sep - expanded)), sep + 1};
}

// What the element at one level of the document is to the reader.
enum class K {
  Document,
  Envelope,
  Skip, // content of no interest (Header, unexpected elements): nothing inside is read
  Body,
  Fault11,
  FaultCode,
  FaultString,
  FaultActor,
  FaultDetail, // its text is gathered at any depth
  Fault12,
  Code12,
  CodeValue12,
  Subcode12,
  SubcodeValue12,
  Reason12,
  ReasonText12,
  Response,
  ReplyBase,
  Status,
  StatusInfo,
  VendorInfo,
  SupportedLocale,
  SupportedVersion,
  RItemList,
  SubscribeItem,
  Item,
  DiagnosticInfo,
  Value,
  ArrayElement,
  Quality,
  Errors,
  ErrorText,
  BrowseElement,
  Property,
  PropertyList,
  InvalidHandle,
};

struct TFrame {
  K kind;
};

bool IsTrue(std::string_view text) {
  return text == "true" || text == "1";
}

bool IsBoolean(std::string_view text) {
  return text == "true" || text == "1" || text == "false" || text == "0";
}

std::string Fold(const std::string& text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !out.empty();
      continue;
    }
    if (blank) {
      out += ' ';
      blank = false;
    }
    out += c;
  }
  return out;
}

} // namespace

class TReplyReader::TImpl {
public:
  TImpl() : FParser(XML_ParserCreateNS(nullptr, kSeparator)) {
    XML_SetUserData(FParser, this);
    XML_SetElementHandler(FParser, &TImpl::OnStart, &TImpl::OnEnd);
    XML_SetCharacterDataHandler(FParser, &TImpl::OnText);
    XML_SetNamespaceDeclHandler(FParser, &TImpl::OnDeclare, &TImpl::OnUndeclare);
    XML_SetStartDoctypeDeclHandler(FParser, &TImpl::OnDoctype);
    XML_SetParamEntityParsing(FParser, XML_PARAM_ENTITY_PARSING_NEVER);
    FStack.push_back({K::Document});
  }
  ~TImpl() { XML_ParserFree(FParser); }
  TImpl(const TImpl&) = delete;
  TImpl& operator=(const TImpl&) = delete;

  void Feed(std::string_view bytes, bool final) {
    if (FStopped) {
      return;
    }
    while (!bytes.empty() || final) {
      const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
      const bool last = final && piece == bytes.size();
      if (XML_Parse(FParser, bytes.data(), static_cast<int>(piece), last) == XML_STATUS_ERROR) {
        if (!FStopped) {
          Problem(std::string("The reply is not well-formed XML: ") +
                  XML_ErrorString(XML_GetErrorCode(FParser)));
          FStopped = true;
        }
        return;
      }
      bytes.remove_prefix(piece);
      if (last) {
        return;
      }
    }
  }

  TReply Finish() {
    Feed({}, true);
    if (FReply.soapVersion == 0 && !FStopped) {
      Problem("The reply is not a SOAP envelope.");
    } else if (!FStopped && !FSawBodyChild) {
      Problem("The SOAP Body holds no reply.");
    }
    return std::move(FReply);
  }

private:
  XML_Parser FParser;
  TReply FReply;
  TNamespaceScope FScope;
  std::vector<TFrame> FStack;
  std::string FText;
  bool FStopped = false;
  bool FSawBodyChild = false;
  std::size_t FDetailDepth = 0;
  TItem* FItem = nullptr;
  TProperty* FProperty = nullptr;
  TValue* FValue = nullptr;
  std::string FSubscriptionHandle;
  bool FResultSeen = false;
  bool FSubscribedAny = false;

  // --- expat callbacks ----------------------------------------------------------------------
  static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char** attributes) {
    static_cast<TImpl*>(self)->Start(name, attributes);
  }
  static void XMLCALL OnEnd(void* self, const XML_Char* name) {
    static_cast<TImpl*>(self)->End(name);
  }
  static void XMLCALL OnText(void* self, const XML_Char* text, int length) {
    static_cast<TImpl*>(self)->Text(std::string_view(text, static_cast<std::size_t>(length)));
  }
  static void XMLCALL OnDeclare(void* self, const XML_Char* prefix, const XML_Char* uri) {
    static_cast<TImpl*>(self)->FScope.Declare(prefix ? prefix : "", uri ? uri : "");
  }
  static void XMLCALL OnUndeclare(void* self, const XML_Char* prefix) {
    static_cast<TImpl*>(self)->FScope.Undeclare(prefix ? prefix : "");
  }
  static void XMLCALL OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*,
                                int) {
    static_cast<TImpl*>(self)->Stop(
        "The reply holds a document type declaration, which a SOAP message may not have; it is "
        "not read.");
  }

  // --- helpers --------------------------------------------------------------------------------
  void Problem(std::string text, int line = -1, int column = -1) {
    if (FReply.problems.size() > kMaxProblems) {
      return;
    }
    if (FReply.problems.size() == kMaxProblems) {
      text = "Further problems are not listed.";
    }
    if (line < 0) {
      line = static_cast<int>(XML_GetCurrentLineNumber(FParser));
      column = static_cast<int>(XML_GetCurrentColumnNumber(FParser)) + 1;
    }
    FReply.problems.push_back({line, column, std::move(text)});
  }

  void Stop(const std::string& text) {
    if (!FStopped) {
      Problem(text);
      FStopped = true;
      XML_StopParser(FParser, XML_FALSE);
    }
  }

  void Push(K kind) { FStack.push_back({kind}); }

  void Unexpected(TName name) {
    Problem("Unexpected element " + (name.ns.empty() ? "" : "{" + std::string(name.ns) + "}") +
            std::string(name.local) + "; its content is not read.");
    Push(K::Skip);
  }

  static const char* Attribute(const XML_Char** attributes, const char* name) {
    for (const XML_Char** a = attributes; *a; a += 2) {
      if (std::strcmp(a[0], name) == 0) {
        return a[1];
      }
    }
    return nullptr;
  }
  static const char* XsiAttribute(const XML_Char** attributes, const char* local) {
    const std::size_t nsLength = std::strlen(kXsiNamespace);
    for (const XML_Char** a = attributes; *a; a += 2) {
      if (std::strncmp(a[0], kXsiNamespace, nsLength) == 0 && a[0][nsLength] == kSeparator &&
          std::strcmp(a[0] + nsLength + 1, local) == 0) {
        return a[1];
      }
    }
    return nullptr;
  }

  std::optional<std::string> Optional(const XML_Char** attributes, const char* name) {
    const char* value = Attribute(attributes, name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  }

  std::optional<TDateTime> Time(const XML_Char** attributes, const char* name) {
    const char* value = Attribute(attributes, name);
    if (!value) {
      return std::nullopt;
    }
    auto parsed = ParseXsdDateTime(value);
    if (!parsed) {
      Problem(std::string(name) + " \"" + value + "\" is not a date and time.");
    }
    return parsed;
  }

  bool Flag(const XML_Char** attributes, const char* name) {
    const char* value = Attribute(attributes, name);
    if (value && !IsBoolean(value)) {
      Problem(std::string(name) + " \"" + value + "\" is not true or false.");
    }
    return value && IsTrue(value);
  }

  std::optional<double> Number(const XML_Char** attributes, const char* name) {
    const char* value = Attribute(attributes, name);
    if (!value) {
      return std::nullopt;
    }
    TScalar scalar{TValueType::Double, value, false, {}};
    if (ParseScalar(TValueType::Double, scalar)) {
      Problem(std::string(name) + " \"" + value + "\" is not a number.");
      return std::nullopt;
    }
    return std::get<double>(scalar.typed);
  }

  std::optional<TQName> QName(std::string_view text, const char* what) {
    auto resolved = FScope.Resolve(text);
    if (!resolved) {
      Problem(std::string(what) + " \"" + std::string(text) +
              "\" is not a name whose prefix is declared.");
    }
    return resolved;
  }

  std::optional<TResult> Result(const XML_Char** attributes) {
    const char* value = Attribute(attributes, "ResultID");
    if (!value) {
      return std::nullopt;
    }
    TResult result;
    result.idText = value;
    if (auto id = QName(value, "ResultID")) {
      result.id = std::move(*id);
    } else {
      result.id.local = value; // shown as written, marked by the problem above
    }
    return result;
  }

  bool IsOpc(TName name, const char* local) const {
    return name.ns == kOpcNamespace && name.local == local;
  }

  // --- elements -------------------------------------------------------------------------------
  void Start(const XML_Char* expanded, const XML_Char** attributes) {
    if (FStack.size() >= kMaxDepth) {
      Stop("The reply nests deeper than " + std::to_string(kMaxDepth) +
           " elements; the rest is not read.");
      return;
    }
    const TName name = Split(expanded);
    const K parent = FStack.back().kind;
    if (FDetailDepth > 0) {
      ++FDetailDepth;
      Push(K::FaultDetail);
      return;
    }
    switch (parent) {
    case K::Document:
      if (name.local == "Envelope" && name.ns == kSoap11Namespace) {
        FReply.soapVersion = 11;
        Push(K::Envelope);
      } else if (name.local == "Envelope" && name.ns == kSoap12Namespace) {
        FReply.soapVersion = 12;
        Push(K::Envelope);
      } else {
        Problem("The reply is not a SOAP envelope: its root element is {" + std::string(name.ns) +
                "}" + std::string(name.local) + ".");
        Push(K::Skip);
      }
      return;
    case K::Envelope:
      if (name.local == "Body" &&
          name.ns == (FReply.soapVersion == 11 ? std::string_view(kSoap11Namespace)
                                               : std::string_view(kSoap12Namespace))) {
        Push(K::Body);
      } else {
        Push(K::Skip); // Header and anything else the envelope carries
      }
      return;
    case K::Body:
      StartBodyChild(name, attributes);
      return;
    case K::Skip:
      Push(K::Skip);
      return;
    case K::Fault11:
      StartFault11Child(name);
      return;
    case K::Fault12:
    case K::Code12:
    case K::Subcode12:
    case K::Reason12:
      StartFault12Child(parent, name);
      return;
    case K::Response:
      StartResponseChild(name, attributes);
      return;
    case K::Status:
      StartStatusChild(name);
      return;
    case K::RItemList:
      if (IsOpc(name, "Items")) {
        if (FReply.operation == TOperation::Subscribe) {
          FReply.items.emplace_back();
          FReply.items.back().revisedSamplingRate = Number(attributes, "RevisedSamplingRate");
          Push(K::SubscribeItem);
        } else {
          StartItem(attributes);
        }
      } else {
        Unexpected(name);
      }
      return;
    case K::SubscribeItem:
      if (IsOpc(name, "ItemValue")) {
        StartItem(attributes);
      } else {
        Unexpected(name);
      }
      return;
    case K::Item:
      if (IsOpc(name, "DiagnosticInfo")) {
        BeginText(K::DiagnosticInfo);
      } else if (IsOpc(name, "Value")) {
        StartValue(FItem->value, attributes);
      } else if (IsOpc(name, "Quality")) {
        FItem->quality = ReadQuality(attributes);
        Push(K::Quality);
      } else {
        Unexpected(name);
      }
      return;
    case K::Value:
      StartArrayElement(name, attributes);
      return;
    case K::Errors:
      if (IsOpc(name, "Text")) {
        BeginText(K::ErrorText);
      } else {
        Unexpected(name);
      }
      return;
    case K::BrowseElement:
    case K::PropertyList:
      if (IsOpc(name, "Properties")) {
        StartProperty(parent, attributes);
      } else {
        Unexpected(name);
      }
      return;
    case K::Property:
      if (IsOpc(name, "Value")) {
        StartValue(FProperty->value, attributes);
      } else {
        Unexpected(name);
      }
      return;
    default:
      // Text-only elements (and the elements of an array) hold no elements.
      Unexpected(name);
      return;
    }
  }

  void StartBodyChild(TName name, const XML_Char** attributes) {
    if (FSawBodyChild) {
      Unexpected(name);
      return;
    }
    FSawBodyChild = true;
    const std::string_view envelopeNs =
        FReply.soapVersion == 11 ? kSoap11Namespace : kSoap12Namespace;
    if (name.local == "Fault" && name.ns == envelopeNs) {
      FReply.fault.emplace();
      FReply.fault->soapVersion = FReply.soapVersion;
      Push(FReply.soapVersion == 11 ? K::Fault11 : K::Fault12);
      return;
    }
    if (name.ns == kOpcNamespace && name.local.size() > 8 &&
        name.local.substr(name.local.size() - 8) == "Response") {
      FReply.operation = OperationNamed(name.local.substr(0, name.local.size() - 8));
    }
    if (FReply.operation == TOperation::Unknown) {
      Problem("The SOAP Body holds {" + std::string(name.ns) + "}" + std::string(name.local) +
              ", not the reply of an OPC XML-DA operation; it is not read.");
      Push(K::Skip);
      return;
    }
    switch (FReply.operation) {
    case TOperation::Browse:
      FReply.continuationPoint = Optional(attributes, "ContinuationPoint");
      FReply.moreElements = Flag(attributes, "MoreElements");
      break;
    case TOperation::Subscribe:
      FReply.serverSubHandle = Optional(attributes, "ServerSubHandle");
      break;
    case TOperation::SubscriptionPolledRefresh:
      FReply.dataBufferOverflow = Flag(attributes, "DataBufferOverflow");
      break;
    case TOperation::SubscriptionCancel:
      FReply.clientRequestHandle = Optional(attributes, "ClientRequestHandle");
      break;
    default:
      break;
    }
    Push(K::Response);
  }

  void StartFault11Child(TName name) {
    // The children of a SOAP 1.1 Fault are unqualified; some stacks qualify them anyway.
    if (!name.ns.empty() && name.ns != kSoap11Namespace) {
      Unexpected(name);
    } else if (name.local == "faultcode") {
      BeginText(K::FaultCode);
    } else if (name.local == "faultstring") {
      BeginText(K::FaultString);
    } else if (name.local == "faultactor") {
      BeginText(K::FaultActor);
    } else if (name.local == "detail") {
      FReply.fault->hasDetail = true;
      FDetailDepth = 1;
      FText.clear();
      Push(K::FaultDetail);
    } else {
      Unexpected(name);
    }
  }

  void StartFault12Child(K parent, TName name) {
    if (name.ns != kSoap12Namespace) {
      Unexpected(name);
      return;
    }
    if (parent == K::Fault12 && name.local == "Code") {
      Push(K::Code12);
    } else if (parent == K::Fault12 && name.local == "Reason") {
      Push(K::Reason12);
    } else if (parent == K::Fault12 && (name.local == "Node" || name.local == "Role")) {
      Push(K::Skip);
    } else if (parent == K::Fault12 && name.local == "Detail") {
      FReply.fault->hasDetail = true;
      FDetailDepth = 1;
      FText.clear();
      Push(K::FaultDetail);
    } else if ((parent == K::Code12 || parent == K::Subcode12) && name.local == "Value") {
      BeginText(parent == K::Code12 ? K::CodeValue12 : K::SubcodeValue12);
    } else if ((parent == K::Code12 || parent == K::Subcode12) && name.local == "Subcode") {
      Push(K::Subcode12);
    } else if (parent == K::Reason12 && name.local == "Text") {
      BeginText(K::ReasonText12);
    } else {
      Unexpected(name);
    }
  }

  void StartResponseChild(TName name, const XML_Char** attributes) {
    const TOperation op = FReply.operation;
    const std::string resultName = std::string(OperationName(op)) + "Result";
    if (op != TOperation::SubscriptionCancel && IsOpc(name, resultName.c_str())) {
      ReadReplyBase(attributes);
      Push(K::ReplyBase);
    } else if (IsOpc(name, "Errors") && op != TOperation::SubscriptionCancel &&
               op != TOperation::GetStatus) {
      TError error;
      const char* id = Attribute(attributes, "ID");
      if (!id) {
        Problem("An Errors element has no ID.");
      } else {
        error.idText = id;
        if (auto resolved = QName(id, "ID")) {
          error.id = std::move(*resolved);
        } else {
          error.id.local = id;
        }
      }
      FReply.errors.push_back(std::move(error));
      Push(K::Errors);
    } else if (op == TOperation::GetStatus && IsOpc(name, "Status")) {
      FReply.status.emplace();
      FReply.status->startTime = Time(attributes, "StartTime");
      FReply.status->productVersion = Optional(attributes, "ProductVersion");
      Push(K::Status);
    } else if (op == TOperation::Browse && IsOpc(name, "Elements")) {
      TBrowseElement element;
      element.name = Optional(attributes, "Name").value_or("");
      element.itemPath = Optional(attributes, "ItemPath").value_or("");
      element.itemName = Optional(attributes, "ItemName").value_or("");
      element.isItem = Flag(attributes, "IsItem");
      element.hasChildren = Flag(attributes, "HasChildren");
      FReply.elements.push_back(std::move(element));
      Push(K::BrowseElement);
    } else if (op == TOperation::GetProperties && IsOpc(name, "PropertyLists")) {
      TPropertyList list;
      list.itemPath = Optional(attributes, "ItemPath");
      list.itemName = Optional(attributes, "ItemName");
      list.result = Result(attributes);
      FReply.propertyLists.push_back(std::move(list));
      Push(K::PropertyList);
    } else if ((op == TOperation::Read || op == TOperation::Write || op == TOperation::Subscribe ||
                op == TOperation::SubscriptionPolledRefresh) &&
               IsOpc(name, "RItemList")) {
      if (op == TOperation::Subscribe) {
        FReply.revisedSamplingRate = Number(attributes, "RevisedSamplingRate");
      }
      FSubscriptionHandle = Optional(attributes, "SubscriptionHandle").value_or("");
      Push(K::RItemList);
    } else if (op == TOperation::SubscriptionPolledRefresh &&
               IsOpc(name, "InvalidServerSubHandles")) {
      BeginText(K::InvalidHandle);
    } else {
      Unexpected(name);
    }
  }

  void StartStatusChild(TName name) {
    if (IsOpc(name, "StatusInfo")) {
      BeginText(K::StatusInfo);
    } else if (IsOpc(name, "VendorInfo")) {
      BeginText(K::VendorInfo);
    } else if (IsOpc(name, "SupportedLocaleIDs")) {
      BeginText(K::SupportedLocale);
    } else if (IsOpc(name, "SupportedInterfaceVersions")) {
      BeginText(K::SupportedVersion);
    } else {
      Unexpected(name);
    }
  }

  void ReadReplyBase(const XML_Char** attributes) {
    FResultSeen = true;
    TReplyBase base;
    base.rcvTime = Time(attributes, "RcvTime");
    base.replyTime = Time(attributes, "ReplyTime");
    base.clientRequestHandle = Optional(attributes, "ClientRequestHandle");
    base.revisedLocaleId = Optional(attributes, "RevisedLocaleID");
    base.serverState = Optional(attributes, "ServerState").value_or("");
    for (const char* required : {"RcvTime", "ReplyTime", "ServerState"}) {
      if (!Attribute(attributes, required)) {
        Problem(std::string("The reply base has no ") + required + ".");
      }
    }
    static const char* const kStates[] = {"running",   "failed", "noConfig",
                                          "suspended", "test",   "commFault"};
    if (!base.serverState.empty() &&
        std::none_of(std::begin(kStates), std::end(kStates),
                     [&](const char* s) { return base.serverState == s; })) {
      Problem("ServerState \"" + base.serverState + "\" is not a state the standard knows.");
    }
    FReply.base = std::move(base);
  }

  void StartItem(const XML_Char** attributes) {
    if (FReply.operation != TOperation::Subscribe) {
      FReply.items.emplace_back();
    }
    FItem = &FReply.items.back();
    FItem->itemPath = Optional(attributes, "ItemPath");
    FItem->itemName = Optional(attributes, "ItemName");
    FItem->clientItemHandle = Optional(attributes, "ClientItemHandle");
    FItem->timestamp = Time(attributes, "Timestamp");
    FItem->result = Result(attributes);
    FItem->subscriptionHandle = FSubscriptionHandle;
    if (const char* qualifier = Attribute(attributes, "ValueTypeQualifier")) {
      FItem->valueTypeQualifier = QName(qualifier, "ValueTypeQualifier");
    }
    if (!FItem->result || !FItem->result->IsError()) {
      FSubscribedAny = true;
    }
    Push(K::Item);
  }

  TQuality ReadQuality(const XML_Char** attributes) {
    TQuality quality;
    if (const char* q = Attribute(attributes, "QualityField")) {
      quality.qualityField = q;
    }
    if (const char* l = Attribute(attributes, "LimitField")) {
      quality.limitField = l;
    }
    if (const char* v = Attribute(attributes, "VendorField")) {
      TScalar scalar{TValueType::UnsignedByte, v, false, {}};
      if (ParseScalar(TValueType::UnsignedByte, scalar)) {
        Problem(std::string("VendorField \"") + v + "\" is not a number from 0 to 255.");
      } else {
        quality.vendorField = static_cast<int>(std::get<std::uint64_t>(scalar.typed));
      }
    }
    return quality;
  }

  void StartProperty(K parent, const XML_Char** attributes) {
    TProperty property;
    if (const char* name = Attribute(attributes, "Name")) {
      property.nameText = name;
      if (auto resolved = QName(name, "Property name")) {
        property.name = std::move(*resolved);
      } else {
        property.name.local = name;
      }
    }
    property.description = Optional(attributes, "Description");
    property.itemPath = Optional(attributes, "ItemPath");
    property.itemName = Optional(attributes, "ItemName");
    property.result = Result(attributes);
    auto& list = parent == K::BrowseElement ? FReply.elements.back().properties
                                            : FReply.propertyLists.back().properties;
    list.push_back(std::move(property));
    FProperty = &list.back();
    Push(K::Property);
  }

  // The type an element's xsi:type names; None without one.
  TValueType ReadType(const XML_Char** attributes, std::string& typeText, TQName& type) {
    const char* text = XsiAttribute(attributes, "type");
    if (!text) {
      return TValueType::None;
    }
    typeText = text;
    auto resolved = QName(text, "xsi:type");
    if (!resolved) {
      return TValueType::Other;
    }
    type = std::move(*resolved);
    const TValueType kind = ValueTypeOf(type);
    if (kind == TValueType::Other) {
      Problem("The value type \"" + typeText + "\" is not one of the schema's; shown as text.");
    }
    return kind;
  }

  bool Nil(const XML_Char** attributes) {
    const char* nil = XsiAttribute(attributes, "nil");
    return nil && IsTrue(nil);
  }

  void StartValue(TValue& value, const XML_Char** attributes) {
    FValue = &value;
    value.present = true;
    value.kind = ReadType(attributes, value.typeText, value.type);
    value.isArray = IsArrayType(value.kind);
    value.scalar.nil = Nil(attributes);
    if (value.kind == TValueType::Quality) {
      value.quality = ReadQuality(attributes);
    }
    BeginText(K::Value);
  }

  void StartArrayElement(TName name, const XML_Char** attributes) {
    if (!FValue->isArray) {
      Problem(FValue->kind == TValueType::None
                  ? "A value holds elements but names no type (xsi:type); it is not read."
                  : "A value of type \"" + FValue->typeText +
                        "\" holds elements; they are not read.");
      Push(K::Skip);
      return;
    }
    if (!IsOpc(name, ArrayElementName(FValue->kind))) {
      Unexpected(name);
      return;
    }
    TScalar element;
    element.type = ArrayElementType(FValue->kind);
    element.nil = Nil(attributes);
    if (FValue->kind == TValueType::ArrayOfAnyType) {
      std::string typeText;
      TQName type;
      element.type = ReadType(attributes, typeText, type);
      if (IsArrayType(element.type) || element.type == TValueType::Quality) {
        Problem("An array inside an array (\"" + typeText + "\") is not read.");
        element.type = TValueType::Other;
      }
    }
    FValue->elements.push_back(std::move(element));
    BeginText(K::ArrayElement);
  }

  bool CollectsText(K kind) const {
    switch (kind) {
    case K::FaultCode:
    case K::FaultString:
    case K::FaultActor:
    case K::FaultDetail:
    case K::CodeValue12:
    case K::SubcodeValue12:
    case K::ReasonText12:
    case K::StatusInfo:
    case K::VendorInfo:
    case K::SupportedLocale:
    case K::SupportedVersion:
    case K::DiagnosticInfo:
    case K::ArrayElement:
    case K::ErrorText:
    case K::InvalidHandle:
      return true;
    case K::Value:
      return !FValue->isArray;
    default:
      return false;
    }
  }

  void BeginText(K kind) {
    FText.clear();
    Push(kind);
  }

  void Text(std::string_view text) {
    if (!CollectsText(FStack.back().kind)) {
      return; // white space between elements
    }
    if (FText.size() + text.size() > kMaxText) {
      Stop("A text in the reply is longer than " + std::to_string(kMaxText >> 20) +
           " MiB; the rest is not read.");
      return;
    }
    FText.append(text);
  }

  void End(const XML_Char*) {
    const K kind = FStack.back().kind;
    FStack.pop_back();
    switch (kind) {
    case K::FaultDetail:
      if (--FDetailDepth == 0) {
        FReply.fault->detail = Fold(FText);
      }
      return;
    case K::FaultCode:
    case K::CodeValue12:
      FReply.fault->codeText = Fold(FText);
      if (auto code = QName(FReply.fault->codeText, "The fault code")) {
        FReply.fault->code = std::move(*code);
      } else {
        FReply.fault->code.local = FReply.fault->codeText;
      }
      break;
    case K::SubcodeValue12:
      if (auto code = QName(Fold(FText), "The fault subcode")) {
        FReply.fault->subcodes.push_back(std::move(*code));
      }
      break;
    case K::FaultString:
      FReply.fault->string = FText;
      break;
    case K::ReasonText12:
      if (FReply.fault->string.empty()) {
        FReply.fault->string = FText;
      }
      break;
    case K::FaultActor:
      FReply.fault->actor = FText;
      break;
    case K::Fault11:
    case K::Fault12:
      if (FReply.fault->codeText.empty()) {
        Problem("The fault has no fault code.");
      }
      break;
    case K::StatusInfo:
      FReply.status->statusInfo = FText;
      break;
    case K::VendorInfo:
      FReply.status->vendorInfo = FText;
      break;
    case K::SupportedLocale:
      FReply.status->supportedLocaleIds.push_back(FText);
      break;
    case K::SupportedVersion:
      FReply.status->supportedInterfaceVersions.push_back(FText);
      break;
    case K::DiagnosticInfo:
      FItem->diagnosticInfo = FText;
      break;
    case K::ErrorText:
      FReply.errors.back().text = FText;
      break;
    case K::InvalidHandle:
      FReply.invalidServerSubHandles.push_back(FText);
      break;
    case K::Value:
      EndValue();
      break;
    case K::ArrayElement: {
      TScalar& element = FValue->elements.back();
      element.text = FText;
      ReadScalar(element, "An element of the array");
      FText.clear();
      break;
    }
    case K::Response:
      EndResponse();
      break;
    default:
      break;
    }
  }

  void ReadScalar(TScalar& scalar, const std::string& what) {
    if (scalar.type == TValueType::QName && !scalar.nil) {
      if (auto name = FScope.Resolve(scalar.text)) {
        scalar.typed = std::move(*name);
      } else {
        Problem(what + " \"" + scalar.text + "\" is not a name whose prefix is declared.");
      }
      return;
    }
    if (auto why = ParseScalar(scalar.type, scalar)) {
      Problem(what + " \"" + scalar.text + "\" is " + *why + ".");
    }
  }

  void EndValue() {
    TValue& value = *FValue;
    if (!value.isArray) {
      value.scalar.text = FText;
      value.scalar.type = value.kind;
      if (value.kind != TValueType::Quality) {
        ReadScalar(value.scalar, "The value");
      }
    }
    FValue = nullptr;
  }

  void EndResponse() {
    const TOperation op = FReply.operation;
    if (op != TOperation::SubscriptionCancel && !FResultSeen) {
      Problem(std::string("The reply has no ") + OperationName(op) + "Result.");
    }
    if (op == TOperation::GetStatus && !FReply.status) {
      Problem("The GetStatus reply has no Status.");
    }
    // A server may leave the handle out when no item could be subscribed; otherwise it is the
    // one thing the next request needs.
    if (op == TOperation::Subscribe && !FReply.serverSubHandle && FSubscribedAny) {
      Problem("The Subscribe reply has no ServerSubHandle although items were subscribed.");
    }
  }
};

TReplyReader::TReplyReader() : FImpl(std::make_unique<TImpl>()) {}
TReplyReader::~TReplyReader() = default;

void TReplyReader::Feed(std::string_view bytes) {
  FImpl->Feed(bytes, false);
}

TReply TReplyReader::Finish() {
  return FImpl->Finish();
}

TReply ReadReply(std::string_view bytes) {
  TReplyReader reader;
  reader.Feed(bytes);
  return reader.Finish();
}

} // namespace opc::xmlda
