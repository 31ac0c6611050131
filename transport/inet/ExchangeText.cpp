#include "transport/inet/ExchangeText.h"

#include <cstdio>

namespace opc::inet {

namespace {

std::string Milliseconds(std::chrono::microseconds time) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(time.count()) / 1000.0);
  return text;
}

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 0x20 && byte < 0x7F) || byte == '\t') {
      shown.push_back(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown.append(escaped);
    }
  }
  return shown;
}

// Each line of a head behind its marker, its CR LF (or a bare LF) taken off.
void AppendHead(std::string& text, std::string_view head, std::string_view marker) {
  while (!head.empty()) {
    const std::size_t end = head.find('\n');
    std::string_view line = head.substr(0, end);
    head.remove_prefix(end == std::string_view::npos ? head.size() : end + 1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    text.append(marker).append(Printable(line)).append("\n");
  }
}

void AppendLeg(std::string& text, const TExchangeLeg& leg, std::size_t number, bool last,
               const TRunSummary& run) {
  text.append("\n=== Request ").append(std::to_string(number)).append(" ===\n");
  const auto notes = [&](TExchangeNote::When when) {
    for (const TExchangeNote& note : leg.notes) {
      if (note.when == when) {
        text.append("* ").append(Printable(note.text)).append("\n");
      }
    }
  };
  notes(TExchangeNote::When::BeforeRequest);
  if (leg.requestHead.empty()) {
    text.append("(nothing was sent)\n");
  } else {
    AppendHead(text, leg.requestHead, "> ");
    std::string body = "> [body: " + Bytes(leg.bodyBytesSent);
    if (leg.bodyBytesSent > 0 && leg.bodyBytesSent == run.envelopeBytes) {
      body += ", the envelope";
    } else if (leg.bodyBytesSent > 0) {
      body += " of the envelope's " + std::to_string(run.envelopeBytes);
    }
    text.append(body).append("]\n");
  }
  notes(TExchangeNote::When::AfterRequest);
  if (leg.responseHead.empty()) {
    text.append(leg.requestHead.empty() ? "" : "(no reply)\n");
  } else {
    AppendHead(text, leg.responseHead, "< ");
    std::string body = "< [body: " + Bytes(leg.bodyBytesReceived) + " on the wire";
    if (last && run.replyBytes) {
      body += "; the reply body is " + Bytes(*run.replyBytes);
      if (!run.replyNote.empty()) {
        body += ", " + run.replyNote;
      }
    }
    text.append(body).append("]\n");
  }
  notes(TExchangeNote::When::AfterReply);
  if (leg.truncated) {
    text.append("(more came than the record keeps: the rest was counted, not kept)\n");
  }
  text.append("Sent " + Bytes(leg.headBytesSent + leg.bodyBytesSent) + " (head " +
              std::to_string(leg.headBytesSent) + ", body " + std::to_string(leg.bodyBytesSent) +
              "); received " + Bytes(leg.headBytesReceived + leg.bodyBytesReceived) + " (head " +
              std::to_string(leg.headBytesReceived) + ", body " +
              std::to_string(leg.bodyBytesReceived) + ").\n");
  std::string times;
  const auto add = [&times](const std::string& part) {
    times += (times.empty() ? "" : ", ") + part;
  };
  if (leg.connectTime) {
    add("connected in " + Milliseconds(*leg.connectTime));
  }
  if (leg.tlsTime) {
    add("TLS done at " + Milliseconds(*leg.tlsTime));
  }
  if (leg.sentAt) {
    add("request sent at " + Milliseconds(*leg.sentAt));
  }
  if (leg.firstByteAt) {
    add("first byte of the reply at " + Milliseconds(*leg.firstByteAt));
  }
  if (leg.lastByteAt) {
    add("last at " + Milliseconds(*leg.lastByteAt));
  }
  if (!times.empty()) {
    text.append("Times: ").append(times).append(".\n");
  }
}

} // namespace

std::string ExchangeText(const TExchangeRecord& record, const TRunSummary& run) {
  std::string text = "POST " + Printable(MaskUrlPasswords(run.url)) + ": " +
                     std::to_string(record.legs.size()) +
                     (record.legs.size() == 1 ? " request" : " requests");
  if (record.total) {
    text += " in " + Milliseconds(*record.total);
  }
  text += ".\n";
  if (run.failure) {
    text += "The run failed: " +
            (run.failure->empty() ? "stopped without a message" : MaskUrlPasswords(*run.failure)) +
            "\n";
    if (!run.failureNote.empty()) {
      text += run.failureNote + "\n";
    }
  } else if (run.replyBytes) {
    text += "Reply body: " + Bytes(*run.replyBytes) + ".\n";
  }
  text += "Lines: \"* \" what the client did, \"> \" sent, \"< \" received. Authorization and "
          "Proxy-Authorization values are hidden: their scheme is shown, the rest only by its "
          "length.\nEnvelope: " +
          Bytes(run.envelopeBytes) +
          (run.envelopeNote.empty() ? std::string() : ", " + run.envelopeNote) +
          "; each request says what it sent of it.\n";
  for (std::size_t i = 0; i < record.legs.size(); ++i) {
    AppendLeg(text, record.legs[i], i + 1, i + 1 == record.legs.size(), run);
  }
  if (record.legsDropped) {
    text += "\n(further requests of this run were not recorded)\n";
  }
  return text;
}

} // namespace opc::inet
