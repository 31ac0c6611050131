#pragma once

#include "transport/inet/WinInet.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A recording stand-in for the HTTP layer, linked in place of the libcurl one. Every call is
// written to the log; the script says how each call answers.
namespace opc::inet::fake {

struct Script {
  std::map<std::string, DWORD> failWith; // call name -> last error of its failure, every time
  std::map<std::string, int> failAfter;  // call name -> successful calls before it fails
  DWORD attemptConnect = 0;
  DWORD status = 200;
  std::optional<std::u16string> reason = u"OK"; // none: the status text query fails
  std::optional<std::u16string> contentType = u"text/xml; charset=utf-8";
  std::vector<std::string> body; // the pieces InternetQueryDataAvailable announces
  std::deque<DWORD> dialog;      // outcomes of InternetErrorDlg in turn; ERROR_SUCCESS after
};

Script& TheScript();
std::vector<std::string>& Log();
std::size_t OpenHandles();
void Reset();

// The bytes each send or write carried, in order.
std::vector<std::string>& Sent();

} // namespace opc::inet::fake
