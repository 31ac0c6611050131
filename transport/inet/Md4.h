#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace opc::inet::detail {

// MD4 of the given bytes. NTLM keys the user's password with it; OpenSSL 3 keeps MD4 only in
// its legacy provider, which a plain installation does not load, so the layer carries its own.
std::array<std::uint8_t, 16> Md4(std::string_view bytes);

} // namespace opc::inet::detail
