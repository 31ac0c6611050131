// The simulator's handling of any request body, under each operation's SOAPAction, with the
// subscriptions the inputs make kept in its store between inputs; and its readers of dateTime
// text and of reply text on the same bytes.
#include "sim/Service.h"
#include "sim/Time.h"
#include "sim/XmlChars.h"

#include <cstdlib>
#include <memory>

namespace {

// A service that is going down answers held refreshes at once, so that every input ends soon.
std::unique_ptr<opc::sim::TService> NewService() {
  auto service = std::make_unique<opc::sim::TService>();
  service->Stop();
  return service;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A fresh service now and then, so the subscriptions that inputs make do not pile up.
  static auto service = NewService();
  static int runs = 0;
  if (++runs % 2000 == 0) {
    service = NewService();
  }
  static const char* const kActions[] = {"",
                                         "GetStatus",
                                         "Browse",
                                         "Read",
                                         "Write",
                                         "GetProperties",
                                         "Subscribe",
                                         "SubscriptionCancel",
                                         "SubscriptionPolledRefresh"};
  if (size == 0) {
    return 0;
  }
  const std::string action =
      std::string("http://opcfoundation.org/webservices/XMLDA/1.0/") + kActions[data[0] % 9];
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  const opc::sim::TReply reply = service->Handle(action, body);
  if ((reply.status != 200 && reply.status != 500) || reply.body.empty() ||
      opc::sim::InvalidUtf8At(reply.body) != std::string::npos) {
    std::abort();
  }
  // Whatever the bytes, the text a reply is made of is UTF-8 of XML characters.
  const std::string safe = opc::sim::XmlSafe(body);
  if (opc::sim::InvalidUtf8At(safe) != std::string::npos) {
    std::abort();
  }
  (void)opc::sim::ParseXsdTime(body);
  return 0;
}
