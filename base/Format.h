#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace opc {

using FormatArg = std::variant<std::u16string_view, std::int64_t>;

// Fills a message format: each "%s" takes the next text argument, each "%d" the next integer,
// in order; "%%" is a percent sign. A directive without a matching argument raises Error.
std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args);

} // namespace opc
