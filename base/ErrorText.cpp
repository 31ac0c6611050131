#include "base/ErrorText.h"

#include "base/Error.h"

#include <new>

namespace opc {

namespace {

std::u16string Widen(const char* text) {
  std::u16string out;
  for (const char* p = text; p && *p; ++p) {
    out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  }
  return out;
}

std::u16string MessageOf(const std::exception& e) {
  if (auto* error = dynamic_cast<const Error*>(&e)) {
    return error->message();
  }
  if (dynamic_cast<const std::bad_alloc*>(&e)) {
    // The system's text for running out of memory, not the library's type name.
    return u"Not enough memory resources are available to process this command.";
  }
  return Widen(e.what());
}

// Walks the chain of nested exceptions from the outside in, keeping the last non-empty message.
void Innermost(std::exception_ptr error, std::u16string& found, bool& silent) {
  try {
    std::rethrow_exception(error);
  } catch (const SilentAbort&) {
    silent = true;
  } catch (const std::exception& e) {
    if (auto text = MessageOf(e); !text.empty()) {
      found = std::move(text);
    }
    if (auto* nested = dynamic_cast<const std::nested_exception*>(&e);
        nested && nested->nested_ptr()) {
      Innermost(nested->nested_ptr(), found, silent);
    }
  } catch (...) {
    found = u"Unknown error";
  }
}

} // namespace

std::u16string WithClosingPeriod(std::u16string text) {
  if (!text.empty() && text.back() > u'.') {
    text += u'.';
  }
  return text;
}

std::optional<std::u16string> ErrorDisplayText(std::exception_ptr error) {
  std::u16string found;
  bool silent = false;
  Innermost(error, found, silent);
  if (silent && found.empty()) {
    return std::nullopt;
  }
  return WithClosingPeriod(std::move(found));
}

} // namespace opc
