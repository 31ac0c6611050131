#pragma once

// A realistic reply for the benchmarks: an OPC XML-DA ReadResponse of as many items as fit in
// `size` bytes, valid against the schema, either on one line (as most servers answer) or
// indented one element to a line.
#include <cstdio>
#include <fstream>
#include <string>

namespace opc::bench {

inline void WriteReadResponse(const std::string& path, std::size_t size, bool indented) {
  std::ofstream out(path, std::ios::binary);
  const char* nl = indented ? "\r\n" : "";
  const std::string i1 = indented ? "  " : "", i2 = indented ? "    " : "",
                    i3 = indented ? "      " : "", i4 = indented ? "        " : "";
  out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>" << nl
      << "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
      << nl << i1 << "<soap:Body>" << nl << i2
      << "<ReadResponse xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\">" << nl << i3
      << "<ReadResult RcvTime=\"2024-05-01T14:03:07.1230000+02:00\" "
         "ReplyTime=\"2024-05-01T14:03:07.1410000+02:00\" ClientRequestHandle=\"r1\" "
         "RevisedLocaleID=\"en\" ServerState=\"running\" />"
      << nl << i3 << "<RItemList>" << nl;
  std::size_t written = 0;
  char item[512];
  for (unsigned i = 0; written < size; ++i) {
    const int n = std::snprintf(
        item, sizeof item,
        "%s<Items ItemPath=\"\" ItemName=\"Simulated/Plant%u/Tag%u\" ClientItemHandle=\"h%u\" "
        "Timestamp=\"2024-05-01T14:03:07.%03u0000+02:00\">%s%s<Value "
        "xsi:type=\"xsd:double\">%u.%02u</Value>%s%s<Quality QualityField=\"good\" "
        "/>%s%s</Items>%s",
        i3.c_str(), i % 16, i, i, i % 1000, nl, i4.c_str(), i * 7 % 10000, i % 100, nl, i4.c_str(),
        nl, i3.c_str(), nl);
    out.write(item, n);
    written += static_cast<std::size_t>(n);
  }
  out << i3 << "</RItemList>" << nl << i2 << "</ReadResponse>" << nl << i1 << "</soap:Body>" << nl
      << "</soap:Envelope>" << nl;
}

} // namespace opc::bench
