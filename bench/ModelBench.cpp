// The reply model on a Read reply of many items, beside the nearest thing to its limit: expat
// alone with the same namespace processing and no handlers.
#include "BenchServer.h"
#include "xmlda/ReplyReader.h"

#include <benchmark/benchmark.h>
#include <expat.h>

namespace opc::bench {
namespace {

// A Read reply of 100,000 items (1,000 in a smoke run) as a server writes it: name, handle,
// timestamp, typed value, quality.
const std::string& ManyItems() {
  static const std::string reply = [] {
    const int count = gSmoke ? 1000 : 100000;
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
                      "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soap:Body>"
                      "<ReadResponse xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\">"
                      "<ReadResult RcvTime=\"2024-05-01T12:00:00.123Z\" "
                      "ReplyTime=\"2024-05-01T12:00:00.456Z\" ServerState=\"running\"/><RItemList>";
    for (int i = 0; i < count; ++i) {
      const std::string n = std::to_string(i);
      xml += "<Items ItemName=\"Plant/Line" + n + "/Value\" ClientItemHandle=\"" + n +
             "\" Timestamp=\"2024-05-01T12:00:00.1234567+02:00\"><Value xsi:type=\"xsd:double\">" +
             n + ".25</Value><Quality QualityField=\"uncertainLastUsableValue\"/></Items>";
    }
    return xml + "</RItemList></ReadResponse></soap:Body></soap:Envelope>";
  }();
  return reply;
}

void Model(benchmark::State& state) {
  const std::string& reply = ManyItems();
  for (auto _ : state) {
    const xmlda::TReply model = xmlda::ReadReply(reply);
    benchmark::DoNotOptimize(model.items.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}

void BareExpat(benchmark::State& state) {
  const std::string& reply = ManyItems();
  for (auto _ : state) {
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    benchmark::DoNotOptimize(XML_Parse(parser, reply.data(), static_cast<int>(reply.size()), 1));
    XML_ParserFree(parser);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}

} // namespace
} // namespace opc::bench

int main(int argc, char** argv) {
  opc::bench::TakeSmokeFlag(argc, argv);
  opc::bench::AddBenchmark("reply_model/100000_items", opc::bench::Model);
  opc::bench::AddBenchmark("reply_model/bare_expat", opc::bench::BareExpat);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
