#include "xmlda/ResultCodes.h"

#include "xmlda/ReplyModel.h"

#include <cstring>

namespace opc::xmlda {

namespace {

struct TMeaning {
  const char* code;
  const char* meaning;
};

constexpr TMeaning kMeanings[] = {
    {"S_CLAMP", "The value written was accepted but clamped to the item's limits."},
    {"S_DATAQUEUEOVERFLOW", "Not every change of the value could be kept for this poll."},
    {"S_UNSUPPORTEDRATE", "The server does not support the requested rate; it uses the closest."},
    {"E_ACCESS_DENIED", "The server denies access to the item."},
    {"E_BUSY", "The server is busy; the request may succeed later."},
    {"E_FAIL", "The operation failed."},
    {"E_INVALIDCONTINUATIONPOINT", "The continuation point is not valid."},
    {"E_INVALIDFILTER", "The filter string is not valid."},
    {"E_INVALIDHOLDTIME", "The hold time is not valid (too far ahead or not a date and time)."},
    {"E_INVALIDITEMNAME", "The item name does not conform to the server's syntax."},
    {"E_INVALIDITEMPATH", "The item path does not conform to the server's syntax."},
    {"E_INVALIDPID", "The property is not valid for this item."},
    {"E_NOSUBSCRIPTION", "The subscription handle is not known to the server."},
    {"E_NOTSUPPORTED", "The server does not support writing this value, quality or timestamp."},
    {"E_OUTOFMEMORY", "The server ran out of memory."},
    {"E_RANGE", "The value is out of the item's range."},
    {"E_READONLY", "The item is read-only and cannot be written."},
    {"E_SERVERSTATE", "The operation cannot run in the server's current state."},
    {"E_TIMEDOUT", "The request deadline passed before the server could answer."},
    {"E_UNKNOWNITEMNAME", "The item name is not known to the server."},
    {"E_UNKNOWNITEMPATH", "The item path is not known to the server."},
    {"E_WRITEONLY", "The item is write-only and cannot be read."},
    {"E_BADTYPE", "The value cannot be converted to or from the requested type."},
};

struct TWords {
  const char* field;
  const char* words;
};

constexpr TWords kQualities[] = {
    {"good", "good"},
    {"goodLocalOverride", "good – local override"},
    {"uncertain", "uncertain"},
    {"uncertainLastUsableValue", "uncertain – last usable"},
    {"uncertainSensorNotAccurate", "uncertain – sensor not accurate"},
    {"uncertainEUExceeded", "uncertain – EU exceeded"},
    {"uncertainSubNormal", "uncertain – sub-normal"},
    {"bad", "bad"},
    {"badConfigurationError", "bad – configuration error"},
    {"badNotConnected", "bad – not connected"},
    {"badDeviceFailure", "bad – device failure"},
    {"badSensorFailure", "bad – sensor failure"},
    {"badLastKnownValue", "bad – last known value"},
    {"badCommFailure", "bad – comm failure"},
    {"badOutOfService", "bad – out of service"},
    {"badWaitingForInitialData", "bad – waiting for initial data"},
};

} // namespace

const char* StandardMeaning(const TQName& code) {
  if (code.ns != kOpcNamespace) {
    return "";
  }
  for (const TMeaning& row : kMeanings) {
    if (code.local == row.code) {
      return row.meaning;
    }
  }
  return "";
}

std::string QualityText(const std::string& qualityField, const std::string& limitField) {
  std::string text = qualityField; // a value outside the schema's list is shown as it came
  for (const TWords& row : kQualities) {
    if (qualityField == row.field) {
      text = row.words;
    }
  }
  if (!limitField.empty() && limitField != "none") {
    text += ", limit " + limitField;
  }
  return text;
}

TQualityClass QualityClassOf(const std::string& qualityField) {
  if (qualityField.rfind("good", 0) == 0) {
    return TQualityClass::Good;
  }
  if (qualityField.rfind("uncertain", 0) == 0) {
    return TQualityClass::Uncertain;
  }
  return TQualityClass::Bad;
}

} // namespace opc::xmlda
