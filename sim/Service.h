#pragma once

#include "sim/AddressSpace.h"
#include "sim/SubscriptionStore.h"
#include "sim/Time.h"

#include <condition_variable>
#include <mutex>
#include <string>

namespace opc::sim {

inline constexpr char kOpcNamespace[] = "http://opcfoundation.org/webservices/XMLDA/1.0/";
inline constexpr char kSoap11Namespace[] = "http://schemas.xmlsoap.org/soap/envelope/";

// A Subscribe with more items is answered with a fault.
inline constexpr std::size_t kMaxSubscribedItems = 10'000;
// How long a subscription without a ping rate lives without being polled.
inline constexpr std::chrono::milliseconds kDefaultPingRate{60'000};

struct TReply {
  int status = 200;
  std::string body;
};

// The OPC XML-DA 1.0 service of the simulation server: one SOAP request in, one reply out.
// Thread-safe: requests of several clients may run at once.
class TService {
public:
  TService();
  explicit TService(TSubscriptionStore::TLimits limits);

  // soapAction as the header carries it (quoted or not, possibly empty).
  TReply Handle(const std::string& soapAction, const std::string& body);

  const TAddressSpace& Space() const { return FSpace; }

  // Held refreshes answer at once, and later ones are not held: the server is going down.
  void Stop();

private:
  TAddressSpace FSpace;
  std::string FStartTime;
  TSubscriptionStore FSubscriptions;
  std::mutex FStopMutex;
  std::condition_variable FStopped;
  bool FStopping = false;

  // Waits until then, or less if the server stops; whether it stops.
  bool Pause(TClock::time_point until);

  friend class TRequestContext;
  std::string GetStatus(class TRequestContext& c);
  std::string Browse(TRequestContext& c);
  std::string Read(TRequestContext& c);
  std::string Write(TRequestContext& c);
  std::string GetProperties(TRequestContext& c);
  std::string Subscribe(TRequestContext& c);
  std::string PolledRefresh(TRequestContext& c);
  std::string Cancel(TRequestContext& c);
};

// A SOAP 1.1 Fault envelope.
std::string SoapFault(const std::string& code, const std::string& text);

} // namespace opc::sim
