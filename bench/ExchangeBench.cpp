// What recording the exchange costs a post: the same round trip and the same large download,
// once as the command-line client makes them (nothing recorded) and once as the window's Go
// command does (the exchange recorded for its Exchange view).
#include "BenchServer.h"
#include "base/ByteStream.h"
#include "transport/MSHTTPPost.h"
#include "transport/inet/ExchangeRecord.h"

#include <benchmark/benchmark.h>
#include <optional>

namespace opc::bench {
namespace {

const std::u16string kAction = u"http://opcfoundation.org/webservices/XMLDA/1.0/GetStatus";

std::u16string Wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

// One post of a small body; `recorded` keeps the exchange as the Go command does.
std::int64_t Post(const std::string& url, bool recorded) {
  ByteStream request(std::vector<std::uint8_t>{'b'});
  ByteStream response;
  inet::TExchangeRecord record;
  std::optional<inet::TRecordExchange> recording;
  if (recorded) {
    recording.emplace(record);
  }
  PostSoapRequest(Wide(url), u"", u"", u"", kAction, request, response);
  return response.Size();
}

template <bool Recorded> void RoundTrip(benchmark::State& state) {
  const std::string url = TBenchServer::Instance().Url(sim::kServicePath);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Post(url, Recorded));
  }
}

template <bool Recorded> void Download(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const std::string url = TBenchServer::Instance().Url("/test/body?size=" + std::to_string(size));
  for (auto _ : state) {
    benchmark::DoNotOptimize(Post(url, Recorded));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void Register() {
  AddBenchmark("round_trip/plain", RoundTrip<false>);
  AddBenchmark("round_trip/recorded", RoundTrip<true>);
  AddBenchmark("download/plain", Download<false>, 256);
  AddBenchmark("download/recorded", Download<true>, 256);
}

} // namespace
} // namespace opc::bench

int main(int argc, char** argv) {
  opc::bench::TakeSmokeFlag(argc, argv);
  opc::bench::Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
