#include "xmlda/ReplyModel.h"

#include "xmlda/ResultCodes.h"

namespace opc::xmlda {

namespace {

constexpr const char* kNames[] = {"",
                                  "GetStatus",
                                  "Browse",
                                  "Read",
                                  "Write",
                                  "GetProperties",
                                  "Subscribe",
                                  "SubscriptionPolledRefresh",
                                  "SubscriptionCancel"};

bool IsError(const std::optional<TResult>& result) {
  return result && result->IsError();
}

} // namespace

const char* OperationName(TOperation operation) {
  return kNames[static_cast<int>(operation)];
}

TOperation OperationNamed(std::string_view name) {
  for (int i = 1; i < static_cast<int>(std::size(kNames)); ++i) {
    if (name == kNames[i]) {
      return static_cast<TOperation>(i);
    }
  }
  return TOperation::Unknown;
}

std::string TReply::ErrorText(const TResult& result) const {
  for (const TError& error : errors) {
    if (error.id == result.id && error.text && !error.text->empty()) {
      return *error.text;
    }
  }
  return StandardMeaning(result.id);
}

bool TReply::HasItemErrors() const {
  for (const TItem& item : items) {
    if (IsError(item.result)) {
      return true;
    }
  }
  for (const TBrowseElement& element : elements) {
    for (const TProperty& property : element.properties) {
      if (IsError(property.result)) {
        return true;
      }
    }
  }
  for (const TPropertyList& list : propertyLists) {
    if (IsError(list.result)) {
      return true;
    }
    for (const TProperty& property : list.properties) {
      if (IsError(property.result)) {
        return true;
      }
    }
  }
  // An operation-level error (a bad continuation point, an unknown branch) comes only in Errors.
  for (const TError& error : errors) {
    if (error.id.local.rfind("E_", 0) == 0) {
      return true;
    }
  }
  return false;
}

} // namespace opc::xmlda
