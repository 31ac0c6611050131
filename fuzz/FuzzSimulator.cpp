// The simulator's handling of any request body, under each operation's SOAPAction.
#include "sim/Service.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A fresh service now and then, so the subscriptions that inputs make do not pile up.
  static auto service = std::make_unique<opc::sim::TService>();
  static int runs = 0;
  if (++runs % 2000 == 0) {
    service = std::make_unique<opc::sim::TService>();
  }
  static const char* const kActions[] = {
      "",      "GetStatus",     "Browse",    "Read",
      "Write", "GetProperties", "Subscribe", "SubscriptionCancel"};
  if (size == 0) {
    return 0;
  }
  // Polled refresh waits by design; it is left out so that every input ends at once.
  const std::string action =
      std::string("http://opcfoundation.org/webservices/XMLDA/1.0/") + kActions[data[0] % 8];
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (body.find("PolledRefresh") != std::string::npos) {
    return 0;
  }
  const opc::sim::TReply reply = service->Handle(action, body);
  if ((reply.status != 200 && reply.status != 500) || reply.body.empty()) {
    std::abort();
  }
  return 0;
}
