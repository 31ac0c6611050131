// The transport and the response file beside the nearest thing to their limit, in one process:
// bare libcurl for the network, one plain write for the file.
#include "BenchServer.h"
#include "base/ByteStream.h"
#include "base/Utf8Encoding.h"
#include "composition/Envelope.h"
#include "roundtrip/ResponseFile.h"
#include "transport/MSHTTPPost.h"

#include <QString>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace opc::bench {
namespace {

const std::u16string kAction = u"http://opcfoundation.org/webservices/XMLDA/1.0/GetStatus";

std::u16string Wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

const std::string& GetStatusEnvelope() {
  static const std::string envelope = EncodeUtf8(ComposeEnvelope(
      u"<GetStatus xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\" LocaleID=\"en-us\" "
      u"ClientRequestHandle=\"GetStatus-1\"/>\r\n"));
  return envelope;
}

void Post(const std::string& url, const std::string& body, ByteStream& response) {
  ByteStream request(std::vector<std::uint8_t>(body.begin(), body.end()));
  PostSoapRequest(Wide(url), u"", u"", u"", kAction, request, response);
}

std::size_t AppendTo(char* data, std::size_t size, std::size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

// A bare libcurl POST with the poster's header lines, a new handle each time.
std::size_t CurlPost(const std::string& url, const char* body, std::size_t size,
                     std::string& reply) {
  CURL* curl = curl_easy_init();
  curl_slist* headers = curl_slist_append(
      nullptr, "SOAPAction: \"http://opcfoundation.org/webservices/XMLDA/1.0/GetStatus\"");
  headers = curl_slist_append(headers, "Content-Type: text/xml; charset=\"utf-8\"");
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendTo);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return reply.size();
}

void RoundTripPoster(benchmark::State& state) {
  const std::string url = TBenchServer::Instance().Url(sim::kServicePath);
  for (auto _ : state) {
    ByteStream response;
    Post(url, GetStatusEnvelope(), response);
    benchmark::DoNotOptimize(response.Size());
  }
}

void RoundTripCurl(benchmark::State& state) {
  const std::string url = TBenchServer::Instance().Url(sim::kServicePath);
  for (auto _ : state) {
    std::string reply;
    benchmark::DoNotOptimize(
        CurlPost(url, GetStatusEnvelope().data(), GetStatusEnvelope().size(), reply));
  }
}

std::string BodyUrl(std::size_t size) {
  return TBenchServer::Instance().Url("/test/body?size=" + std::to_string(size));
}

void DownloadPoster(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const std::string url = BodyUrl(size);
  double peak = 0;
  for (auto _ : state) {
    ResetPeakMemory();
    const double base = CurrentMemoryBytes();
    {
      ByteStream response;
      Post(url, "b", response);
      benchmark::DoNotOptimize(response.Size());
      peak = std::max(peak, PeakMemoryBytes() - base);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["peak_over_body_MiB"] = (peak - static_cast<double>(size)) / (1 << 20);
}

void DownloadCurl(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const std::string url = BodyUrl(size);
  for (auto _ : state) {
    std::string reply;
    benchmark::DoNotOptimize(CurlPost(url, "b", 1, reply));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

const std::string& UploadBody(std::size_t size) {
  static std::string body;
  if (body.size() != size) {
    body.assign(size, 'u');
  }
  return body;
}

void UploadPoster(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const std::string url = TBenchServer::Instance().Url("/test/sink");
  ByteStream request(std::vector<std::uint8_t>(size, 'u'));
  double peak = 0;
  for (auto _ : state) {
    ResetPeakMemory();
    const double base = CurrentMemoryBytes();
    ByteStream response;
    PostSoapRequest(Wide(url), u"", u"", u"", kAction, request, response);
    peak = std::max(peak, PeakMemoryBytes() - base);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["peak_growth_MiB"] = peak / (1 << 20);
}

void UploadCurl(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const std::string url = TBenchServer::Instance().Url("/test/sink");
  const std::string& body = UploadBody(size);
  for (auto _ : state) {
    std::string reply;
    benchmark::DoNotOptimize(CurlPost(url, body.data(), body.size(), reply));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// A reply body of lines of 63 characters, after the given mark.
std::vector<std::uint8_t> ReplyBody(std::size_t size, const std::string& mark, bool utf16) {
  std::vector<std::uint8_t> body(mark.begin(), mark.end());
  body.reserve(mark.size() + size);
  for (std::size_t i = 0; body.size() < mark.size() + size; ++i) {
    const char c = i % 64 == 63 ? '\n' : static_cast<char>('a' + i % 26);
    body.push_back(static_cast<std::uint8_t>(c));
    if (utf16) {
      body.push_back(0);
    }
  }
  return body;
}

std::string TargetPath() {
  return (std::filesystem::temp_directory_path() / "opcxmlda-bench-Response.xml").string();
}

template <int Kind> void ResponseFile(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const std::string mark = Kind == 0 ? "" : Kind == 1 ? "\xEF\xBB\xBF" : "\xFF\xFE";
  const auto body = ReplyBody(size, mark, Kind == 2);
  const std::string path = TargetPath();
  double peak = 0;
  for (auto _ : state) {
    ResetPeakMemory();
    const double base = CurrentMemoryBytes();
    WriteResponseFile(path, body);
    peak = std::max(peak, PeakMemoryBytes() - base);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
  state.counters["peak_growth_MiB"] = peak / (1 << 20);
}

void PlainWrite(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const auto body = ReplyBody(size, "", false);
  const std::string path = TargetPath();
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    benchmark::DoNotOptimize(::write(fd, body.data(), body.size()));
    ::close(fd);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}

void Register() {
  AddBenchmark("round_trip/poster", RoundTripPoster);
  AddBenchmark("round_trip/curl", RoundTripCurl);
  AddBenchmark("download/poster", DownloadPoster, 256);
  AddBenchmark("download/curl", DownloadCurl, 256);
  AddBenchmark("upload/poster", UploadPoster, 256);
  AddBenchmark("upload/curl", UploadCurl, 256);
  AddBenchmark("response_file/no_mark", ResponseFile<0>, 64);
  AddBenchmark("response_file/utf8_mark", ResponseFile<1>, 64);
  AddBenchmark("response_file/utf16_mark", ResponseFile<2>, 64);
  AddBenchmark("response_file/plain_write", PlainWrite, 64);
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
