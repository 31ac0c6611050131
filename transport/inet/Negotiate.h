#pragma once

#include <functional>
#include <optional>
#include <string>

namespace opc::inet::detail {

// The first Negotiate (Kerberos) token for the web service on host, made with a
// Kerberos credential the KDC gives for the user's password: the credential lives in this call
// only, so the user's ticket cache and the process environment stay as they were.
struct TNegotiateToken {
  std::optional<std::string> token; // base64, as it goes after "Negotiate "
  bool cancelled = false;           // the user stopped the wait
};

// user: "user", "user@REALM" or "DOMAIN\user" (taken as user@DOMAIN). The KDC is asked on a
// thread of its own, so that cancelled() (checked every 100 ms) ends the wait.
TNegotiateToken NegotiateWithPassword(const std::string& user, const std::string& password,
                                      const std::string& host,
                                      const std::function<bool()>& cancelled);

// Whether the user holds a Kerberos ticket that is still valid (in the default credential cache),
// so that Negotiate with it is worth a request. Looks at the cache only; asks no KDC.
bool HoldsKerberosTicket();

// The Kerberos name the user's answer stands for.
std::string KerberosPrincipal(const std::string& user);

} // namespace opc::inet::detail
