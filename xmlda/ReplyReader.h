#pragma once

#include "xmlda/ReplyModel.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace opc::xmlda {

// Reads a SOAP reply as it arrives, piece by piece, into a TReply. One pass, no tree of the
// document, no recursion per nesting level; a document type declaration stops the reading (SOAP
// forbids one, and nothing external is ever fetched). Nesting and text are bounded so that a
// hostile reply costs little; what goes beyond a bound is reported as a problem.
class TReplyReader {
public:
  TReplyReader();
  ~TReplyReader();
  TReplyReader(const TReplyReader&) = delete;
  TReplyReader& operator=(const TReplyReader&) = delete;

  // Hands the next bytes of the reply to the reader. Once the reader has stopped (a document that
  // is not well-formed, a bound passed) further bytes are ignored.
  void Feed(std::string_view bytes);
  // Ends the document and gives the reply as far as it could be read.
  TReply Finish();

private:
  class TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// The whole reply in one call.
TReply ReadReply(std::string_view bytes);

} // namespace opc::xmlda
