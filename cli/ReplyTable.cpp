#include "cli/ReplyTable.h"

#include "xmlda/ResultCodes.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace opc::cli {

using namespace xmlda;

namespace {

using TRow = std::vector<std::string>;

// Characters, not bytes, so that columns of UTF-8 text line up.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n' || c == '\t') {
      c = ' ';
    }
  }
  return text;
}

std::string Table(const std::vector<TRow>& rows) {
  std::vector<std::size_t> widths;
  for (const TRow& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], Width(row[i]));
    }
  }
  std::string out;
  for (const TRow& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) {
        line += std::string(widths[i] - Width(row[i]) + 2, ' ');
      }
    }
    out += line + "\n";
  }
  return out;
}

std::string ResultText(const TReply& reply, const std::optional<TResult>& result) {
  if (!result) {
    return "";
  }
  const std::string text = reply.ErrorText(*result);
  return result->id.local + (text.empty() ? "" : ": " + OneLine(text));
}

std::string TimeText(const std::optional<TDateTime>& time) {
  return time ? time->text : "";
}

std::string Quality(const std::optional<TQuality>& quality) {
  return quality ? QualityText(quality->qualityField, quality->limitField) : "good";
}

std::string TypeText(const TValue& value) {
  return value.typeText;
}

} // namespace

std::string ValueText(const TValue& value) {
  if (!value.present) {
    return "";
  }
  if (value.quality) {
    return QualityText(value.quality->qualityField, value.quality->limitField);
  }
  if (!value.isArray) {
    return value.scalar.nil ? "(nil)" : OneLine(value.scalar.text);
  }
  std::string text = "[";
  for (std::size_t i = 0; i < value.elements.size(); ++i) {
    text += (i ? ", " : "") + (value.elements[i].nil ? "(nil)" : OneLine(value.elements[i].text));
  }
  return text + "]";
}

std::string FormatReply(const TReply& reply, std::int64_t nowUnixMicros) {
  std::string out;
  if (reply.fault) {
    const TFault& f = *reply.fault;
    out += "SOAP " + std::string(f.soapVersion == 12 ? "1.2" : "1.1") + " fault: " + f.codeText;
    for (const TQName& sub : f.subcodes) {
      out += " / " + sub.local;
    }
    out += " - " + OneLine(f.string) + "\n";
    if (f.hasDetail) {
      out += "detail: " + f.detail + "\n";
    }
  }
  if (reply.base) {
    out += std::string(OperationName(reply.operation)) + " reply, server state " +
           reply.base->serverState + "\n";
  }
  switch (reply.operation) {
  case TOperation::GetStatus:
    if (reply.status) {
      const TServerStatus& s = *reply.status;
      std::vector<TRow> rows = {{"Vendor info", s.vendorInfo.value_or("")},
                                {"Product version", s.productVersion.value_or("")},
                                {"Status info", s.statusInfo.value_or("")},
                                {"Start time", TimeText(s.startTime)}};
      std::string versions;
      for (const std::string& v : s.supportedInterfaceVersions) {
        versions += (versions.empty() ? "" : ", ") + v;
      }
      rows.push_back({"Interface versions", versions});
      if (reply.base && reply.base->replyTime) {
        char text[64];
        std::snprintf(text, sizeof text, "%+.3f s",
                      static_cast<double>(reply.base->replyTime->UnixMicros() - nowUnixMicros) /
                          1e6);
        rows.push_back({"Reply time - local clock", text});
      }
      out += Table(rows);
    }
    break;
  case TOperation::Browse: {
    std::vector<TRow> rows = {{"", "Name", "ItemName", "ItemPath"}};
    for (const TBrowseElement& e : reply.elements) {
      rows.push_back({std::string(e.isItem ? "item" : "") + (e.hasChildren ? "+" : ""), e.name,
                      e.itemName, e.itemPath});
    }
    out += Table(rows);
    if (reply.moreElements || reply.continuationPoint) {
      out += std::string("more elements: ") + (reply.moreElements ? "yes" : "no") +
             ", continuation point: " + reply.continuationPoint.value_or("") + "\n";
    }
    break;
  }
  case TOperation::GetProperties: {
    std::vector<TRow> rows = {{"Item", "Property", "Value", "Type", "Result"}};
    for (const TPropertyList& list : reply.propertyLists) {
      if (list.result || list.properties.empty()) {
        rows.push_back({list.itemName.value_or(""), "", "", "", ResultText(reply, list.result)});
      }
      for (const TProperty& p : list.properties) {
        rows.push_back({list.itemName.value_or(""), p.name.local, ValueText(p.value),
                        TypeText(p.value), ResultText(reply, p.result)});
      }
    }
    out += Table(rows);
    break;
  }
  case TOperation::Read:
  case TOperation::Write:
  case TOperation::Subscribe:
  case TOperation::SubscriptionPolledRefresh: {
    if (reply.serverSubHandle) {
      out += "ServerSubHandle: " + *reply.serverSubHandle + "\n";
    }
    for (const std::string& handle : reply.invalidServerSubHandles) {
      out += "invalid ServerSubHandle: " + handle + "\n";
    }
    if (reply.dataBufferOverflow) {
      out += "data buffer overflow: values were lost\n";
    }
    std::vector<TRow> rows = {
        {"Item", "Handle", "Value", "Type", "Quality", "Timestamp", "Result"}};
    for (const TItem& item : reply.items) {
      rows.push_back({item.itemName.value_or(""), item.clientItemHandle.value_or(""),
                      ValueText(item.value), TypeText(item.value), Quality(item.quality),
                      TimeText(item.timestamp), ResultText(reply, item.result)});
    }
    out += Table(rows);
    break;
  }
  case TOperation::SubscriptionCancel:
    out += "SubscriptionCancel reply" +
           (reply.clientRequestHandle ? ", ClientRequestHandle " + *reply.clientRequestHandle
                                      : std::string()) +
           "\n";
    break;
  case TOperation::Unknown:
    break;
  }
  for (const TError& error : reply.errors) {
    const std::string text = error.text ? *error.text : StandardMeaning(error.id);
    out += "error " + error.id.local + (text.empty() ? "" : ": " + OneLine(text)) + "\n";
  }
  for (const TProblem& p : reply.problems) {
    out += "not read (line " + std::to_string(p.line) + ", column " + std::to_string(p.column) +
           "): " + p.text + "\n";
  }
  return out;
}

} // namespace opc::cli
