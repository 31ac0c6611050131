#include "sim/Routes.h"

#include "sim/BodyBudget.h"
#include "sim/BrokenService.h"
#include "sim/ConnectionThreads.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <openssl/evp.h>
#include <thread>

namespace opc::sim {

namespace {

std::size_t Number(const httplib::Request& request, const char* name, std::size_t fallback) {
  return request.has_param(name) ? std::stoull(request.get_param_value(name)) : fallback;
}

std::string Md5(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::map<std::string, std::string> DigestFields(const std::string& header) {
  std::map<std::string, std::string> fields;
  std::size_t at = header.find(' ');
  while (at != std::string::npos && at < header.size()) {
    const std::size_t eq = header.find('=', at);
    if (eq == std::string::npos) {
      break;
    }
    std::string key = header.substr(at, eq - at);
    key.erase(0, key.find_first_not_of(" ,"));
    std::size_t end;
    std::string value;
    if (eq + 1 < header.size() && header[eq + 1] == '"') {
      end = header.find('"', eq + 2);
      value = header.substr(eq + 2, end - eq - 2);
      end = end == std::string::npos ? end : end + 1;
    } else {
      end = header.find(',', eq);
      value = header.substr(eq + 1, end == std::string::npos ? std::string::npos : end - eq - 1);
    }
    fields[key] = value;
    at = end;
  }
  return fields;
}

// The body of /test/body: lines of 63 letters and a LF, cut to the size asked for, after the
// mark asked for; in UTF-16 every character takes two bytes.
char BodyByte(std::size_t offset, bool utf16, bool bigEndian) {
  const std::size_t character = utf16 ? offset / 2 : offset;
  const char c = character % 64 == 63 ? '\n' : static_cast<char>('a' + character % 26);
  if (!utf16) {
    return c;
  }
  const bool low = (offset % 2 == 0) != bigEndian;
  return low ? c : '\0';
}

} // namespace

namespace {

void TooLarge(httplib::Response& response) {
  response.status = 413;
  response.set_content(SoapFault("soap:Client", "The request is larger than the server takes (" +
                                                    std::to_string(kMaxRequestBytes >> 20) +
                                                    " MiB)."),
                       "text/xml; charset=utf-8");
  // The rest of the body is not read: the connection cannot carry another request.
  response.set_header("Connection", "close");
}

} // namespace

void AddServiceRoutes(httplib::Server& server, TService& service, std::size_t bodyBudget) {
  server.new_task_queue = [] { return new TConnectionThreads; };
  server.set_payload_max_length(kMaxRequestBytes);
  auto budget = std::make_shared<TBodyBudget>(bodyBudget);
  // The body is read here, whatever its framing, so that the limit holds for a chunked one too.
  server.Post(kServicePath, [&service, budget](const httplib::Request& request,
                                               httplib::Response& response,
                                               const httplib::ContentReader& reader) {
    // Past the limit the rest is read and dropped, so that a client that sends the whole body
    // before it reads sees the answer; past a few times the limit the connection is cut.
    std::string body;
    TBodyCharge charge(*budget);
    bool tooLarge = false;
    bool busy = false;
    std::size_t dropped = 0;
    const bool read = reader([&](const char* data, std::size_t length) {
      if (tooLarge || length > kMaxRequestBytes - body.size()) {
        tooLarge = true;
        body = std::string();
        dropped += length;
        return dropped < 4 * kMaxRequestBytes;
      }
      if (body.capacity() - body.size() < length) {
        // Doubling, but never past the limit: a body just under it takes 64 MiB, not 128.
        const std::size_t capacity =
            std::min(kMaxRequestBytes, std::max(body.size() + length, 2 * body.capacity()));
        if (!charge.GrowTo(capacity)) {
          busy = true;
          return false;
        }
        body.reserve(capacity);
      }
      body.append(data, length);
      return true;
    });
    // A declared length over the limit is dropped by the server's own reading.
    tooLarge =
        tooLarge || (request.has_header("Content-Length") &&
                     request.get_header_value<std::uint64_t>("Content-Length") > kMaxRequestBytes);
    if (tooLarge) {
      TooLarge(response);
      return;
    }
    if (busy) {
      response.status = 503;
      response.set_header("Retry-After", "1");
      response.set_header("Connection", "close");
      response.set_content(SoapFault("soap:Server", "The server is reading too many large "
                                                    "requests at once; try again in a moment."),
                           "text/xml; charset=utf-8");
      return;
    }
    if (!read) {
      response.status = 400;
      response.set_header("Connection", "close");
      return;
    }
    const TReply reply = service.Handle(request.get_header_value("SOAPAction"), body);
    response.status = reply.status;
    response.set_content(reply.body, "text/xml; charset=utf-8");
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.status == 413 && response.body.empty()) {
      TooLarge(response);
    }
  });
}

void AddTestRoutes(httplib::Server& server) {
  server.Post(R"(/test/broken/([a-z-]+))", [](const httplib::Request& request,
                                              httplib::Response& response) {
    const TReply reply =
        HandleBroken(request.matches[1], request.get_header_value("SOAPAction"), request.body);
    response.status = reply.status;
    response.set_content(reply.body, "text/xml; charset=utf-8");
  });
  server.Post("/test/status", [](const httplib::Request& request, httplib::Response& response) {
    response.status = static_cast<int>(Number(request, "code", 200));
    const std::string type =
        request.has_param("type") ? request.get_param_value("type") : "text/xml";
    response.set_content(request.has_param("body") ? request.get_param_value("body") : "<status/>",
                         type.c_str());
  });
  server.Post("/test/body", [](const httplib::Request& request, httplib::Response& response) {
    const std::size_t size = Number(request, "size", 1024);
    const std::string mark = request.has_param("mark") ? request.get_param_value("mark") : "none";
    const bool utf16 = mark == "utf16le" || mark == "utf16be";
    const bool big = mark == "utf16be";
    const std::string prefix = mark == "utf8"      ? "\xEF\xBB\xBF"
                               : mark == "utf16le" ? "\xFF\xFE"
                               : mark == "utf16be" ? "\xFE\xFF"
                                                   : "";
    const std::string type =
        request.has_param("type") ? request.get_param_value("type") : "text/xml";
    const auto produce = [=](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
      std::string chunk;
      const std::size_t total = prefix.size() + size;
      const std::size_t n = std::min<std::size_t>({length, 1 << 20, total - offset});
      chunk.resize(n);
      for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = offset + i;
        chunk[i] = at < prefix.size() ? prefix[at] : BodyByte(at - prefix.size(), utf16, big);
      }
      sink.write(chunk.data(), chunk.size());
      return true;
    };
    if (request.has_param("chunked") && request.get_param_value("chunked") == "1") {
      auto offset = std::make_shared<std::size_t>(0);
      response.set_chunked_content_provider(
          type.c_str(), [=](std::size_t, httplib::DataSink& sink) {
            if (*offset >= prefix.size() + size) {
              sink.done();
              return true;
            }
            const std::size_t before = *offset;
            produce(before, prefix.size() + size - before, sink);
            *offset = before + std::min<std::size_t>(1 << 20, prefix.size() + size - before);
            return true;
          });
    } else {
      response.set_content_provider(prefix.size() + size, type.c_str(), produce);
    }
  });
  server.Post("/test/trickle", [](const httplib::Request& request, httplib::Response& response) {
    const std::size_t bytes = Number(request, "bytes", 10);
    const auto delay = std::chrono::milliseconds(Number(request, "delay", 100));
    response.set_content_provider(bytes, "text/xml",
                                  [=](std::size_t, std::size_t, httplib::DataSink& sink) {
                                    std::this_thread::sleep_for(delay);
                                    sink.write("x", 1);
                                    return true;
                                  });
  });
  server.Post("/test/close", [](const httplib::Request& request, httplib::Response& response) {
    const std::size_t after = Number(request, "after", 10);
    response.set_content_provider(
        after * 2 + 1, "text/xml", [=](std::size_t offset, std::size_t, httplib::DataSink& sink) {
          if (offset >= after) {
            return false; // the connection ends here, short of the announced length
          }
          const std::string chunk(after - offset, 'c');
          sink.write(chunk.data(), chunk.size());
          return true;
        });
  });
  server.Post("/test/hang", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        10, "text/xml", [](std::size_t, std::size_t, httplib::DataSink& sink) {
          const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(10);
          while (sink.is_writable() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
          return false;
        });
  });
  server.Post("/test/auth/basic", [](const httplib::Request& request, httplib::Response& response) {
    if (request.get_header_value("Authorization") == "Basic dXNlcjpzZWNyZXQ=") { // user:secret
      response.set_content("<authorised/>", "text/xml");
      return;
    }
    response.status = 401;
    response.set_header("WWW-Authenticate", "Basic realm=\"opcxmlda-sim\"");
    response.set_content("<unauthorised/>", "text/xml");
  });
  server.Post("/test/auth/digest",
              [](const httplib::Request& request, httplib::Response& response) {
                const std::string authorization = request.get_header_value("Authorization");
                if (authorization.rfind("Digest ", 0) == 0) {
                  auto f = DigestFields(authorization);
                  const std::string ha1 = Md5(f["username"] + ":opcxmlda-sim:secret");
                  const std::string ha2 = Md5("POST:" + f["uri"]);
                  if (f["username"] == "user" &&
                      f["response"] == Md5(ha1 + ":" + f["nonce"] + ":" + f["nc"] + ":" +
                                           f["cnonce"] + ":" + f["qop"] + ":" + ha2)) {
                    response.set_content("<authorised/>", "text/xml");
                    return;
                  }
                }
                response.status = 401;
                response.set_header("WWW-Authenticate",
                                    "Digest realm=\"opcxmlda-sim\", qop=\"auth\", nonce=\"5im\"");
                response.set_content("<unauthorised/>", "text/xml");
              });
  // Takes a request body of any size and throws it away, answering with its length.
  server.Post("/test/sink", [](const httplib::Request&, httplib::Response& response,
                               const httplib::ContentReader& reader) {
    std::size_t total = 0;
    reader([&](const char*, std::size_t length) {
      total += length;
      return true;
    });
    response.set_content("<received bytes=\"" + std::to_string(total) + "\"/>", "text/xml");
  });
  // The request as the server read it: request line, header lines (names as the parser keeps
  // them), an empty line and the body bytes.
  server.Post("/test/echo", [](const httplib::Request& request, httplib::Response& response) {
    std::string echo = request.method + " " + request.target + " " + request.version + "\r\n";
    for (const auto& [name, value] : request.headers) {
      if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" &&
          name != "LOCAL_PORT") {
        echo += name + ": " + value + "\r\n";
      }
    }
    response.set_content(echo + "\r\n" + request.body, "text/xml");
  });
}

} // namespace opc::sim
