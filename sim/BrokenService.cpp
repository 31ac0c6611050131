#include "sim/BrokenService.h"

#include <regex>

namespace opc::sim {

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// One service for all broken routes: subscriptions made through one route are polled through it.
TService& Service() {
  static TService service;
  return service;
}

} // namespace

TReply HandleBroken(const std::string& kind, const std::string& soapAction, std::string body) {
  if (kind == "hold-ignored") {
    body = std::regex_replace(body, std::regex(R"(\sHoldTime\s*=\s*("[^"]*"|'[^']*'))"), "");
  } else if (kind == "endless-continuation") {
    body =
        std::regex_replace(body, std::regex(R"(\sContinuationPoint\s*=\s*("[^"]*"|'[^']*'))"), "");
  } else if (kind != "wrong-result" && kind != "outside-schema") {
    return {500, SoapFault("soap:Client", "No broken route named " + kind + ".")};
  }
  TReply reply = Service().Handle(soapAction, body);
  if (kind == "wrong-result") {
    ReplaceAll(reply.body, "E_UNKNOWNITEMNAME", "E_FAIL");
  } else if (kind == "outside-schema") {
    // Behind the reply's first start tag inside the Body: an element no schema type allows.
    const std::size_t body = reply.body.find("<soap:Body>");
    const std::size_t first = body == std::string::npos ? body : reply.body.find('>', body + 11);
    if (first != std::string::npos && reply.body.compare(body + 11, 10, "<soap:Faul") != 0) {
      reply.body.insert(first + 1, "<Unexpected>not in the schema</Unexpected>");
    }
  }
  return reply;
}

} // namespace opc::sim
