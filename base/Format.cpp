#include "base/Format.h"

#include "base/Error.h"

namespace opc {

namespace {

[[noreturn]] void Invalid(std::u16string_view format) {
  throw Error(u"Format '" + std::u16string(format) + u"' invalid or incompatible with argument");
}

void AppendDecimal(std::u16string& out, std::int64_t value) {
  const std::string digits = std::to_string(value);
  out.append(digits.begin(), digits.end());
}

} // namespace

std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args) {
  std::u16string out;
  out.reserve(format.size() + 64);
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char16_t c = format[i];
    if (c != u'%') {
      out += c;
      continue;
    }
    if (++i == format.size()) {
      Invalid(format);
    }
    const char16_t directive = format[i];
    if (directive == u'%') {
      out += u'%';
      continue;
    }
    if (next == args.end()) {
      Invalid(format);
    }
    if (directive == u's' && std::holds_alternative<std::u16string_view>(*next)) {
      out += std::get<std::u16string_view>(*next);
    } else if (directive == u'd' && std::holds_alternative<std::int64_t>(*next)) {
      AppendDecimal(out, std::get<std::int64_t>(*next));
    } else {
      Invalid(format);
    }
    ++next;
  }
  return out;
}

} // namespace opc
