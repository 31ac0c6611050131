#pragma once

#include "sim/AddressSpace.h"
#include "sim/Time.h"

#include <map>
#include <mutex>
#include <string>

namespace opc::sim {

inline constexpr char kOpcNamespace[] = "http://opcfoundation.org/webservices/XMLDA/1.0/";
inline constexpr char kSoap11Namespace[] = "http://schemas.xmlsoap.org/soap/envelope/";

struct TReply {
  int status = 200;
  std::string body;
};

// The OPC XML-DA 1.0 service of the simulation server: one SOAP request in, one reply out.
// Thread-safe: requests of several clients may run at once.
class TService {
public:
  TService();

  // soapAction as the header carries it (quoted or not, possibly empty).
  TReply Handle(const std::string& soapAction, const std::string& body);

  const TAddressSpace& Space() const { return FSpace; }

private:
  struct TSubscribedItem {
    const TItem* item;
    std::string itemName;
    std::string clientHandle;
    std::optional<TValue> lastSent;
  };
  struct TSubscription {
    std::vector<TSubscribedItem> items;
    int samplingMs = 500;
    int pingRateMs = 0;
    TClock::time_point lastPolled;
  };

  TAddressSpace FSpace;
  std::string FStartTime;
  std::mutex FMutex;
  std::map<std::string, TSubscription> FSubscriptions;
  long FNextHandle = 1;

  friend class TRequestContext;
  std::string GetStatus(class TRequestContext& c);
  std::string Browse(TRequestContext& c);
  std::string Read(TRequestContext& c);
  std::string Write(TRequestContext& c);
  std::string GetProperties(TRequestContext& c);
  std::string Subscribe(TRequestContext& c);
  std::string PolledRefresh(TRequestContext& c);
  std::string Cancel(TRequestContext& c, TReply& reply);
  void ExpireSubscriptions();
};

// A SOAP 1.1 Fault envelope.
std::string SoapFault(const std::string& code, const std::string& text);

} // namespace opc::sim
