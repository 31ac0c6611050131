#pragma once

#include "xmlda/SimpleValues.h"
#include "xmlda/XsdDateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The reply of an OPC XML-DA 1.0 server read into plain structures. Every text is UTF-8, as the
// reply carried it; what the reader could not read is listed in TReply::problems instead of being
// guessed, so a view shows the gap rather than a made-up value.
namespace opc::xmlda {

inline constexpr char kOpcNamespace[] = "http://opcfoundation.org/webservices/XMLDA/1.0/";
inline constexpr char kSoap11Namespace[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char kSoap12Namespace[] = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr char kXsdNamespace[] = "http://www.w3.org/2001/XMLSchema";
inline constexpr char kXsiNamespace[] = "http://www.w3.org/2001/XMLSchema-instance";

enum class TOperation {
  Unknown,
  GetStatus,
  Browse,
  Read,
  Write,
  GetProperties,
  Subscribe,
  SubscriptionPolledRefresh,
  SubscriptionCancel,
};

// The operation's name as the operation box and the SOAPAction spell it; "" for Unknown.
const char* OperationName(TOperation operation);
// The operation of that name, Unknown for any other text.
TOperation OperationNamed(std::string_view name);

struct TQuality {
  std::string qualityField = "good"; // the schema's defaults where the attribute is absent
  std::string limitField = "none";
  int vendorField = 0;
};

// A value of one of the schema's simple types or ArrayOf types, or an OPCQuality (the value of the
// "quality" property).
struct TValue {
  bool present = false;
  std::string typeText; // xsi:type as written, "" when the value carried none
  TQName type;          // xsi:type resolved by the namespaces in scope
  TValueType kind = TValueType::None;
  bool isArray = false;
  TScalar scalar;                  // the value itself when not an array
  std::vector<TScalar> elements;   // the array's elements, in order
  std::optional<TQuality> quality; // for xsi:type OPCQuality
};

struct TError {
  TQName id;
  std::string idText; // as written
  std::optional<std::string> text;
};

// A result code: the resolved name and, when present, the text the reply gave for it.
struct TResult {
  TQName id;
  std::string idText;
  bool IsError() const { return id.local.rfind("E_", 0) == 0; }
};

struct TItem {
  std::optional<std::string> itemPath;
  std::optional<std::string> itemName;
  std::optional<std::string> clientItemHandle;
  std::optional<TDateTime> timestamp;
  std::optional<std::string> diagnosticInfo;
  std::optional<TResult> result;
  std::optional<TQName> valueTypeQualifier;
  TValue value;
  std::optional<TQuality> quality;           // absent: the schema's default, good
  std::string subscriptionHandle;            // SubscriptionPolledRefresh: the RItemList it came in
  std::optional<double> revisedSamplingRate; // Subscribe, per item
};

struct TProperty {
  TQName name;
  std::string nameText;
  std::optional<std::string> description;
  std::optional<std::string> itemPath;
  std::optional<std::string> itemName;
  std::optional<TResult> result;
  TValue value;
};

struct TBrowseElement {
  std::string name;
  std::string itemPath;
  std::string itemName;
  bool isItem = false;
  bool hasChildren = false;
  std::vector<TProperty> properties;
};

struct TPropertyList {
  std::optional<std::string> itemPath;
  std::optional<std::string> itemName;
  std::optional<TResult> result;
  std::vector<TProperty> properties;
};

struct TReplyBase {
  std::optional<TDateTime> rcvTime;
  std::optional<TDateTime> replyTime;
  std::optional<std::string> clientRequestHandle;
  std::optional<std::string> revisedLocaleId;
  std::string serverState; // running, failed, noConfig, suspended, test or commFault
};

struct TServerStatus {
  std::optional<TDateTime> startTime;
  std::optional<std::string> productVersion;
  std::optional<std::string> statusInfo;
  std::optional<std::string> vendorInfo;
  std::vector<std::string> supportedLocaleIds;
  std::vector<std::string> supportedInterfaceVersions;
};

struct TFault {
  int soapVersion = 11; // 11 or 12
  TQName code;          // faultcode, or Code/Value
  std::string codeText;
  std::vector<TQName> subcodes; // SOAP 1.2 Subcode/Value, outermost first
  std::string string;           // faultstring, or the first Reason/Text
  std::optional<std::string> actor;
  bool hasDetail = false;
  std::string detail; // the detail's text, whitespace runs folded to one blank
};

// Something the reader met and could not read. Line and column are 1-based, 0 when unknown.
struct TProblem {
  int line = 0;
  int column = 0;
  std::string text;
};

struct TReply {
  TOperation operation = TOperation::Unknown;
  int soapVersion = 0; // 11, 12, or 0 when no SOAP envelope was found
  std::optional<TFault> fault;
  std::optional<TReplyBase> base;
  std::optional<TServerStatus> status;          // GetStatus
  std::vector<TItem> items;                     // Read, Write, Subscribe, SubscriptionPolledRefresh
  std::vector<TBrowseElement> elements;         // Browse
  std::vector<TPropertyList> propertyLists;     // GetProperties
  std::optional<std::string> continuationPoint; // Browse
  bool moreElements = false;                    // Browse; absent counts as false
  std::optional<std::string> serverSubHandle;   // Subscribe
  std::optional<double> revisedSamplingRate;    // Subscribe, for the whole list
  std::vector<std::string> invalidServerSubHandles; // SubscriptionPolledRefresh
  bool dataBufferOverflow = false;                  // SubscriptionPolledRefresh
  std::optional<std::string> clientRequestHandle;   // SubscriptionCancel (it has no reply base)
  std::vector<TError> errors;
  std::vector<TProblem> problems;

  // The text for a result code: the reply's own Errors text, else the standard code's meaning,
  // else "".
  std::string ErrorText(const TResult& result) const;
  // Whether any item, element, property or list carries an error code (E_...).
  bool HasItemErrors() const;
};

} // namespace opc::xmlda
