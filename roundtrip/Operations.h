#pragma once

#include <array>

namespace opc {

// The OPC XML-DA 1.0 operations in the order the operation list shows them. Each has a request
// template named after it with ".x" appended.
inline constexpr std::array<const char16_t*, 8> kOperations = {u"GetStatus",
                                                               u"Browse",
                                                               u"Read",
                                                               u"Write",
                                                               u"GetProperties",
                                                               u"Subscribe",
                                                               u"SubscriptionPolledRefresh",
                                                               u"SubscriptionCancel"};

} // namespace opc
