#pragma once

#include <exception>
#include <string>

namespace opc {

// Every failure of the system is raised as an Error that carries only its message text.
// The text is UTF-16, as every text of the system; what() gives a narrow copy for diagnostics.
class Error : public std::exception {
public:
  explicit Error(std::u16string message);

  const std::u16string& message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FNarrow.c_str(); }

private:
  std::u16string FMessage;
  std::string FNarrow;
};

// Raised where the user cancels a dialog or the platform refuses to go online. It unwinds like any
// error, so every clean-up runs, but the error display shows nothing for it.
class SilentAbort : public Error {
public:
  SilentAbort() : Error(std::u16string()) {}
};

} // namespace opc
