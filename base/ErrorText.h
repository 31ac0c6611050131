#pragma once

#include <exception>
#include <optional>
#include <string>

namespace opc {

// The text the error display shows for a raised failure, or nothing for a silent abort.
// Of an error that wraps inner errors (std::nested_exception) the innermost non-empty message is
// taken; a "." is appended when the last character's code is above that of ".".
std::optional<std::u16string> ErrorDisplayText(std::exception_ptr error);

// The period rule on its own: a text ending in a letter or "?" gets a ".", one ending in ".", a
// blank, "!", a quote, ")", "," or "-" stays as it is.
std::u16string WithClosingPeriod(std::u16string text);

} // namespace opc
