#include "transport/inet/ExchangeRecord.h"

#include "transport/inet/ExchangeRecording.h"

#include <algorithm>

namespace opc::inet {

namespace {

// What the record keeps of a run whatever a server sends: a server that answers with endless
// header lines or interim replies is counted, not held.
constexpr std::size_t kMaxLegs = 64;
constexpr std::size_t kMaxHeadBytes = 256 * 1024;
constexpr std::size_t kMaxNotes = 200;

// The transfer being recorded on this thread.
struct TRecording {
  TExchangeRecord* record = nullptr;
  CURL* transfer = nullptr;
  std::size_t firstLeg = 0;  // the transfer's first leg
  bool replyStarted = false; // the current leg has reply bytes: a new request head is a new leg
  std::string rawHead;       // the current request head before masking, while it is sent
};

thread_local TRecording recording;

std::chrono::microseconds Since(const TExchangeRecord& record) {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                               record.started);
}

bool NameIs(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') {
    return false;
  }
  return std::equal(name.begin(), name.end(), line.begin(),
                    [](char a, char b) { return (a | 0x20) == (b | 0x20); });
}

// Appends up to the cap; what does not fit marks the leg as cut.
void AppendCapped(std::string& to, std::string_view data, TExchangeLeg& leg) {
  const std::size_t room = kMaxHeadBytes > to.size() ? kMaxHeadBytes - to.size() : 0;
  if (data.size() > room) {
    leg.truncated = true;
  }
  to.append(data.substr(0, room));
}

bool OpenLeg(TRecording& r) {
  if (r.record->legs.size() >= kMaxLegs) {
    r.record->legsDropped = true;
    r.transfer = nullptr; // the rest of this transfer goes unrecorded
    return false;
  }
  r.record->legs.emplace_back();
  r.replyStarted = false;
  r.rawHead.clear();
  return true;
}

void Note(TRecording& r, curl_infotype type, std::string_view data) {
  TExchangeLeg* leg = &r.record->legs.back();
  const auto now = Since(*r.record);
  switch (type) {
  case CURLINFO_TEXT:
    while (!data.empty() && (data.back() == '\n' || data.back() == '\r')) {
      data.remove_suffix(1);
    }
    if (leg->notes.size() < kMaxNotes) {
      const auto when = r.replyStarted             ? TExchangeNote::When::AfterReply
                        : leg->requestHead.empty() ? TExchangeNote::When::BeforeRequest
                                                   : TExchangeNote::When::AfterRequest;
      leg->notes.push_back({when, MaskUrlPasswords(data.substr(0, 1024))});
    } else {
      leg->truncated = true;
    }
    break;
  case CURLINFO_HEADER_OUT: {
    const bool headEnded = r.rawHead.ends_with("\r\n\r\n") || r.rawHead.ends_with("\n\n");
    if (r.replyStarted || headEnded) {
      if (!OpenLeg(r)) {
        return;
      }
      leg = &r.record->legs.back();
    }
    if (!leg->sentAt) {
      leg->sentAt = now;
    }
    leg->headBytesSent += data.size();
    const std::size_t room =
        kMaxHeadBytes > r.rawHead.size() ? kMaxHeadBytes - r.rawHead.size() : 0;
    leg->truncated = leg->truncated || data.size() > room;
    r.rawHead.append(data.substr(0, room));
    leg->requestHead = MaskCredentials(r.rawHead);
    break;
  }
  case CURLINFO_DATA_OUT:
    leg->bodyBytesSent += data.size();
    break;
  case CURLINFO_HEADER_IN:
  case CURLINFO_DATA_IN:
    r.replyStarted = true;
    if (!leg->firstByteAt) {
      leg->firstByteAt = now;
    }
    leg->lastByteAt = now;
    if (type == CURLINFO_HEADER_IN) {
      leg->headBytesReceived += data.size();
      AppendCapped(leg->responseHead, data, *leg);
    } else {
      leg->bodyBytesReceived += data.size();
    }
    break;
  default: // the TLS layer's own records
    break;
  }
}

int OnDebug(CURL* easy, curl_infotype type, char* data, std::size_t size, void*) {
  TRecording& r = recording;
  if (!r.record || easy != r.transfer || r.record->legs.empty()) {
    return 0;
  }
  try {
    Note(r, type, std::string_view(data, size));
  } catch (...) {
    r.transfer = nullptr; // out of memory for the record: the transfer goes on unrecorded
  }
  return 0;
}

} // namespace

TRecordExchange::TRecordExchange(TExchangeRecord& record)
    : FRecord(record), FOuter(recording.record) {
  FRecord.started = std::chrono::steady_clock::now();
  recording = TRecording{};
  recording.record = &FRecord;
}

TRecordExchange::~TRecordExchange() {
  FRecord.total = Since(FRecord);
  recording = TRecording{};
  recording.record = FOuter;
}

std::string MaskCredentials(std::string_view head) {
  std::string masked;
  masked.reserve(head.size());
  while (!head.empty()) {
    const std::size_t end = head.find('\n');
    std::string_view line = head.substr(0, end == std::string_view::npos ? head.size() : end + 1);
    head.remove_prefix(line.size());
    const std::size_t colon = line.find(':');
    if (!NameIs(line, "Authorization") && !NameIs(line, "Proxy-Authorization")) {
      masked.append(line);
      continue;
    }
    std::size_t textEnd = line.size();
    while (textEnd > 0 && (line[textEnd - 1] == '\n' || line[textEnd - 1] == '\r')) {
      --textEnd;
    }
    const std::string_view ending = line.substr(textEnd);
    line = line.substr(0, textEnd);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
      value.remove_prefix(1);
    }
    masked.append(line.substr(0, colon + 1));
    const std::size_t space = value.find(' ');
    std::string_view secret = value;
    if (space != std::string_view::npos) {
      masked.append(" ").append(value.substr(0, space)); // the scheme
      secret = value.substr(space + 1);
    }
    masked.append(" [" + std::to_string(secret.size()) + " characters hidden]");
    masked.append(ending);
  }
  return masked;
}

std::string MaskUrlPasswords(std::string_view text) {
  std::string masked;
  for (;;) {
    const std::size_t scheme = text.find("://");
    if (scheme == std::string_view::npos) {
      masked.append(text);
      return masked;
    }
    const std::size_t start = scheme + 3;
    masked.append(text.substr(0, start));
    text.remove_prefix(start);
    // The authority ends where the path, query or fragment begins, or at a blank or a quote.
    const std::size_t end = std::min(text.find_first_of("/?#'\" \t"), text.size());
    const std::size_t at = text.substr(0, end).rfind('@');
    const std::size_t colon = at == std::string_view::npos ? at : text.substr(0, at).find(':');
    if (colon != std::string_view::npos) {
      masked.append(text.substr(0, colon + 1));
      masked.append("[" + std::to_string(at - colon - 1) + " characters hidden]");
      text.remove_prefix(at);
    }
  }
}

namespace detail {

void BeginRecording(CURL* easy) {
  TRecording& r = recording;
  if (!r.record) {
    return;
  }
  r.transfer = easy;
  if (!OpenLeg(r)) {
    return;
  }
  r.firstLeg = r.record->legs.size() - 1;
  curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &OnDebug);
  curl_easy_setopt(easy, CURLOPT_DEBUGDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
}

void EndRecording(CURL* easy) noexcept {
  TRecording& r = recording;
  if (!r.record || !easy || easy != r.transfer) {
    return;
  }
  r.transfer = nullptr;
  r.rawHead.clear();
  long connections = 0;
  curl_off_t connect = 0, tls = 0;
  curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connections);
  curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connect);
  curl_easy_getinfo(easy, CURLINFO_APPCONNECT_TIME_T, &tls);
  if (connections > 0 && r.firstLeg < r.record->legs.size()) {
    TExchangeLeg& leg = r.record->legs[r.firstLeg];
    leg.connectTime = std::chrono::microseconds(connect);
    if (tls > 0) {
      leg.tlsTime = std::chrono::microseconds(tls);
    }
  }
}

void RecordOwnRequest(std::string_view head, std::string_view note) noexcept {
  TRecording& r = recording;
  if (!r.record) {
    return;
  }
  auto& legs = r.record->legs;
  if (legs.size() >= kMaxLegs) {
    r.record->legsDropped = true;
    return;
  }
  try {
    // The transfer waiting for this connection keeps its leg last.
    const bool before = r.transfer && !legs.empty() && legs.back().requestHead.empty() &&
                        r.rawHead.empty() && !r.replyStarted;
    const auto at = before ? legs.end() - 1 : legs.end();
    TExchangeLeg& leg = *legs.emplace(at);
    if (before && r.firstLeg == legs.size() - 2) {
      r.firstLeg = legs.size() - 1;
    }
    leg.sentAt = Since(*r.record);
    leg.headBytesSent = head.size();
    leg.requestHead = MaskCredentials(head.substr(0, kMaxHeadBytes));
    leg.truncated = head.size() > kMaxHeadBytes;
    leg.notes.push_back({TExchangeNote::When::BeforeRequest, std::string(note)});
  } catch (...) {
    // out of memory for the record: the connection goes on unrecorded
  }
}

void RecordOwnReply(std::string_view head) noexcept {
  TRecording& r = recording;
  if (!r.record) {
    return;
  }
  auto& legs = r.record->legs;
  // The own leg is the last, or the one before the waiting transfer's.
  auto leg = legs.rbegin();
  while (leg != legs.rend() && (leg->requestHead.empty() || leg->firstByteAt)) {
    ++leg;
  }
  if (leg == legs.rend()) {
    return;
  }
  try {
    leg->firstByteAt = leg->lastByteAt = Since(*r.record);
    leg->headBytesReceived += head.size();
    AppendCapped(leg->responseHead, head, *leg);
  } catch (...) {
    // out of memory for the record: the reply goes on unrecorded
  }
}

} // namespace detail
} // namespace opc::inet
