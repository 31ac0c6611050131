#pragma once

#include "xmlda/ReplyModel.h"

#include <string>
#include <string_view>
#include <vector>

// The next request from a reply: an operation's request text (a template as loaded into the
// editor, or the request that was sent) with only what the action changes replaced. Options,
// deadlines, time placeholders, comments and line breaks stay as they were. Texts are the
// editor's UTF-16; the reply's texts are UTF-8. A request text whose tags do not pair up, or whose
// root is not the operation's element, raises Error.
namespace opc::xmlda {

struct TItemRef {
  std::string itemPath; // "" when the server uses none
  std::string itemName;
  std::string clientItemHandle; // "" to number the items 1, 2, ...
};

struct TWriteItem {
  TItemRef item;
  TValue value; // written with its type; an array with its elements
};

// Browse: the element's branch, from the first page (any continuation point removed).
std::u16string BrowseInto(std::u16string_view browseRequest, const TBrowseElement& element);
// Browse: the next page of the request that was answered, with the reply's continuation point.
std::u16string NextBrowsePage(std::u16string_view browseRequest,
                              std::string_view continuationPoint);
// Read, GetProperties and Subscribe of the given items (their item lists replaced).
std::u16string ReadItems(std::u16string_view readRequest, const std::vector<TItemRef>& items);
std::u16string GetPropertiesOf(std::u16string_view getPropertiesRequest,
                               const std::vector<TItemRef>& items);
std::u16string SubscribeItems(std::u16string_view subscribeRequest,
                              const std::vector<TItemRef>& items);
// SubscriptionPolledRefresh and SubscriptionCancel of a subscription.
std::u16string PollSubscription(std::u16string_view pollRequest, std::string_view serverSubHandle);
std::u16string CancelSubscription(std::u16string_view cancelRequest,
                                  std::string_view serverSubHandle);
// Write of the given items with their values and types, for the user to edit.
std::u16string WriteItems(std::u16string_view writeRequest, const std::vector<TWriteItem>& items);

// One attribute set on the operation's element (element "") or on its first child of that local
// name ("Options"), added when missing; for options a run changes (limits, deadlines, hold times).
std::u16string SetRequestAttribute(std::u16string_view request, std::u16string_view operation,
                                   std::u16string_view element, std::u16string_view name,
                                   std::string_view value);

// The items of a reply as the next request names them (Read, Subscribe, polled refresh, Browse).
TItemRef ItemRefOf(const TItem& item);
TItemRef ItemRefOf(const TBrowseElement& element);

} // namespace opc::xmlda
