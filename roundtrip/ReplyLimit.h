#pragma once

#include <cstddef>
#include <string>

namespace opc {

// The most bytes of a reply a round trip holds: 2 GiB, or a quarter of the machine's memory
// when that is less, since the reply is held as bytes and then shown from its file. A server
// that sends more ends the round trip with ReplyTooLargeMessage instead of exhausting memory.
std::size_t ReplyLimit();
// Tests set a small limit; 0 restores the default.
void SetReplyLimit(std::size_t bytes);

// What the user reads when a reply could not be held: how much had arrived when it was stopped.
std::u16string ReplyTooLargeMessage(std::size_t received);

} // namespace opc
