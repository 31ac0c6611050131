#include "transport/inet/Negotiate.h"

#include "transport/inet/Ntlm.h"

#include <chrono>
#include <condition_variable>
#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>
#include <memory>
#include <mutex>
#include <thread>

namespace opc::inet::detail {

namespace {

struct TName {
  gss_name_t name = GSS_C_NO_NAME;
  ~TName() {
    OM_uint32 minor = 0;
    gss_release_name(&minor, &name);
  }
};
struct TCredential {
  gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
  ~TCredential() {
    OM_uint32 minor = 0;
    gss_release_cred(&minor, &credential);
  }
};
struct TContext {
  gss_ctx_id_t context = GSS_C_NO_CONTEXT;
  ~TContext() {
    OM_uint32 minor = 0;
    gss_delete_sec_context(&minor, &context, GSS_C_NO_BUFFER);
  }
};
struct TBuffer {
  gss_buffer_desc buffer{0, nullptr};
  ~TBuffer() {
    OM_uint32 minor = 0;
    gss_release_buffer(&minor, &buffer);
  }
};

bool Import(const std::string& text, gss_OID type, TName& name) {
  OM_uint32 minor = 0;
  gss_buffer_desc buffer{text.size(), const_cast<char*>(text.data())};
  return gss_import_name(&minor, &buffer, type, &name.name) == GSS_S_COMPLETE;
}

std::optional<std::string> MakeToken(const std::string& user, const std::string& password,
                                     const std::string& host) {
  TName principal, service;
  if (!Import(KerberosPrincipal(user), GSS_C_NT_USER_NAME, principal) ||
      !Import("HTTP@" + host, GSS_C_NT_HOSTBASED_SERVICE, service)) {
    return std::nullopt;
  }
  // Kerberos alone, for the credential and for the token: the password goes to no other
  // mechanism installed on the machine, and servers that take Negotiate take a Kerberos token
  // as it stands.
  OM_uint32 minor = 0;
  gss_OID_set_desc kerberos{1, const_cast<gss_OID>(gss_mech_krb5)};
  gss_buffer_desc secret{password.size(), const_cast<char*>(password.data())};
  TCredential credential;
  if (gss_acquire_cred_with_password(&minor, principal.name, &secret, GSS_C_INDEFINITE, &kerberos,
                                     GSS_C_INITIATE, &credential.credential, nullptr,
                                     nullptr) != GSS_S_COMPLETE) {
    return std::nullopt; // a wrong password, an unknown user, or no KDC to ask
  }
  TContext context;
  TBuffer out;
  const OM_uint32 major =
      gss_init_sec_context(&minor, credential.credential, &context.context, service.name,
                           const_cast<gss_OID>(gss_mech_krb5), 0, 0, GSS_C_NO_CHANNEL_BINDINGS,
                           GSS_C_NO_BUFFER, nullptr, &out.buffer, nullptr, nullptr);
  if (GSS_ERROR(major) || out.buffer.length == 0) {
    // No key for the service, or the KDC does not know it.
    return std::nullopt;
  }
  return Base64Encode(
      std::string_view(static_cast<const char*>(out.buffer.value), out.buffer.length));
}

// What the thread that asks the KDC hands back; shared, so that a thread left behind by a
// cancelled wait still has somewhere to write.
struct TShared {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::optional<std::string> token;
};

} // namespace

std::string KerberosPrincipal(const std::string& user) {
  if (const auto slash = user.find('\\'); slash != std::string::npos) {
    std::string realm = user.substr(0, slash);
    for (char& c : realm) {
      c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    }
    return user.substr(slash + 1) + "@" + realm;
  }
  return user;
}

bool HoldsKerberosTicket() {
  OM_uint32 minor = 0;
  OM_uint32 lifetime = 0;
  gss_OID_set_desc kerberos{1, const_cast<gss_OID>(gss_mech_krb5)};
  TCredential credential;
  return gss_acquire_cred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &kerberos, GSS_C_INITIATE,
                          &credential.credential, nullptr, &lifetime) == GSS_S_COMPLETE &&
         lifetime > 0;
}

TNegotiateToken NegotiateWithPassword(const std::string& user, const std::string& password,
                                      const std::string& host,
                                      const std::function<bool()>& cancelled) {
  auto shared = std::make_shared<TShared>();
  std::thread asking([shared, user, password, host] {
    std::optional<std::string> token;
    try {
      token = MakeToken(user, password, host);
    } catch (...) {
      token.reset(); // out of memory: no token, and nothing leaves the thread
    }
    std::lock_guard lock(shared->mutex);
    shared->token = std::move(token);
    shared->finished = true;
    shared->done.notify_all();
  });
  for (;;) {
    {
      std::unique_lock lock(shared->mutex);
      if (shared->done.wait_for(lock, std::chrono::milliseconds(100),
                                [&] { return shared->finished; })) {
        break;
      }
    }
    if (cancelled && cancelled()) {
      asking.detach(); // it ends on the KDC's own timeouts and writes only to shared
      return TNegotiateToken{std::nullopt, true};
    }
  }
  asking.join();
  return TNegotiateToken{std::move(shared->token), false};
}

} // namespace opc::inet::detail
