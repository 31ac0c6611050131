#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace opc::inet::detail {

// The NTLM messages the layer sends itself, laid out as the NTLM message format has them: the
// NEGOTIATE message carries its (zero) Version field, and the AUTHENTICATE message its Version
// and MIC fields before the payload, so that strict servers take them as well as lenient ones.
// Only NTLMv2 responses are made.

// The first message, base64 as it goes after "NTLM ".
std::string NtlmNegotiateMessage();

struct TNtlmChallenge {
  std::uint32_t flags = 0;
  std::array<std::uint8_t, 8> serverChallenge{};
  std::string targetInfo; // the AV pairs as the server sent them
};

// The server's CHALLENGE message from its base64 text; nothing when it is not one.
std::optional<TNtlmChallenge> ParseNtlmChallenge(std::string_view base64);

struct TNtlmIdentity {
  std::string user;     // UTF-8; "DOMAIN\user" or "user@domain" name the domain too
  std::string password; // UTF-8
};

// The AUTHENTICATE message for the challenge, base64. clientChallenge and time (100 ns units
// since 1601) are the caller's so that known answers can be checked; the time is taken from
// the challenge's timestamp when it has one.
std::string NtlmAuthenticateMessage(const TNtlmChallenge& challenge, const TNtlmIdentity& identity,
                                    const std::array<std::uint8_t, 8>& clientChallenge,
                                    std::uint64_t time);

// The AUTHENTICATE message for the challenge with a fresh client challenge and the clock's time.
std::string NtlmAnswer(const TNtlmChallenge& challenge, const TNtlmIdentity& identity);

// The NTLMv2 proof of the response, for checking against known answers.
std::array<std::uint8_t, 16> NtlmV2Proof(const TNtlmChallenge& challenge,
                                         const TNtlmIdentity& identity,
                                         const std::array<std::uint8_t, 8>& clientChallenge,
                                         std::uint64_t time);

std::string Base64Encode(std::string_view bytes);
std::optional<std::string> Base64Decode(std::string_view text);

} // namespace opc::inet::detail
