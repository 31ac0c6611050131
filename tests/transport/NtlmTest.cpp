#include "transport/inet/Ntlm.h"

#include "transport/inet/Md4.h"

#include <gtest/gtest.h>

namespace opc::inet::detail {
namespace {

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    out += kDigits[static_cast<std::uint8_t>(c) >> 4];
    out += kDigits[static_cast<std::uint8_t>(c) & 15];
  }
  return out;
}
std::string Hex(const auto& array) {
  return Hex(std::string_view(reinterpret_cast<const char*>(array.data()), array.size()));
}
std::uint32_t Get32(const std::string& m, std::size_t at) {
  return static_cast<std::uint8_t>(m[at]) | static_cast<std::uint8_t>(m[at + 1]) << 8 |
         static_cast<std::uint8_t>(m[at + 2]) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(m[at + 3])) << 24;
}
std::string Field(const std::string& m, std::size_t at) {
  const std::size_t length = static_cast<std::uint8_t>(m[at]) | static_cast<std::uint8_t>(m[at + 1])
                                                                    << 8;
  return m.substr(Get32(m, at + 4), length);
}

TEST(Md4, KnownDigests) {
  struct Case {
    const char* input;
    const char* digest;
  };
  static constexpr Case kCases[] = {
      {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
      {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {"message digest", "d9130a8164549fe818874806e1c7014b"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "e33b4ddc9c38f2199c3e7b164fcc0536"}};
  for (const Case& c : kCases) {
    EXPECT_EQ(Hex(Md4(c.input)), c.digest) << c.input;
  }
}

// The NTLMv2 example of the NTLM documentation: user "User", domain "Domain", password
// "Password", a server challenge 0123456789abcdef, a client challenge of 0xaa bytes, time 0.
TNtlmChallenge DocumentedChallenge() {
  TNtlmChallenge challenge;
  challenge.flags = 0xe28a8233;
  challenge.serverChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
  const std::u16string domain = u"Domain", server = u"Server";
  auto pair = [&](char id, const std::u16string& text) {
    challenge.targetInfo += std::string{id, 0, static_cast<char>(text.size() * 2), 0};
    for (char16_t c : text) {
      challenge.targetInfo += std::string{static_cast<char>(c), 0};
    }
  };
  pair(2, domain);
  pair(1, server);
  challenge.targetInfo += std::string(4, '\0');
  return challenge;
}
constexpr std::array<std::uint8_t, 8> kClientChallenge = {0xaa, 0xaa, 0xaa, 0xaa,
                                                          0xaa, 0xaa, 0xaa, 0xaa};

TEST(Ntlm, DocumentedNtlmV2Answer) {
  const TNtlmIdentity identity{"Domain\\User", "Password"};
  EXPECT_EQ(Hex(NtlmV2Proof(DocumentedChallenge(), identity, kClientChallenge, 0)),
            "68cd0ab851e51c96aabc927bebef6a1c");
  const auto message =
      Base64Decode(NtlmAuthenticateMessage(DocumentedChallenge(), identity, kClientChallenge, 0));
  ASSERT_TRUE(message);
  EXPECT_EQ(Hex(Field(*message, 12)), "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa");
  EXPECT_EQ(Hex(Field(*message, 20).substr(0, 16)), "68cd0ab851e51c96aabc927bebef6a1c");
}

// Every fixed field the format lays out is there: a NEGOTIATE of 40 bytes with a zero Version;
// an AUTHENTICATE whose payload starts after Version and MIC, and that claims no Version it
// does not carry.
TEST(Ntlm, MessagesHaveEveryFixedField) {
  const auto negotiate = Base64Decode(NtlmNegotiateMessage());
  ASSERT_TRUE(negotiate);
  ASSERT_EQ(negotiate->size(), 40u);
  EXPECT_EQ(negotiate->substr(0, 8), std::string("NTLMSSP", 8));
  EXPECT_EQ(Get32(*negotiate, 8), 1u);
  EXPECT_EQ(Get32(*negotiate, 12) & 0x02000000u, 0u);
  EXPECT_EQ(negotiate->substr(32), std::string(8, '\0'));

  TNtlmChallenge challenge = DocumentedChallenge();
  challenge.flags |= 0x02000000; // the server offers Version
  const auto authenticate = Base64Decode(
      NtlmAuthenticateMessage(challenge, {"PLANT\\alice", "wonder"}, kClientChallenge, 0));
  ASSERT_TRUE(authenticate);
  EXPECT_EQ(Get32(*authenticate, 8), 3u);
  EXPECT_EQ(Get32(*authenticate, 60) & 0x02000000u, 0u);
  EXPECT_EQ(authenticate->substr(64, 24), std::string(24, '\0'));
  for (std::size_t field = 12; field < 60; field += 8) {
    EXPECT_GE(Get32(*authenticate, field + 4), 88u) << field;
  }
  EXPECT_EQ(Field(*authenticate, 28), std::string("P\0L\0A\0N\0T\0", 10));
  EXPECT_EQ(Field(*authenticate, 36), std::string("a\0l\0i\0c\0e\0", 10));
}

TEST(Ntlm, ChallengesThatAreNoneAreRefused) {
  const std::string good =
      "NTLMSSP" + std::string(1, '\0') + std::string("\x02\0\0\0", 4) + std::string(36, '\0');
  EXPECT_TRUE(ParseNtlmChallenge(Base64Encode(good)));
  std::string outside = good;
  outside[20] = '\0', outside[22] = '\x80'; // target information announced...
  outside[40] = 16, outside[44] = 60;       // ...beyond the end
  for (const std::string& text :
       {std::string("not base64!"), Base64Encode(good.substr(0, 47)),
        Base64Encode("NTLMSSP" + std::string(1, '\0') + std::string("\x03\0\0\0", 4) +
                     std::string(36, '\0')),
        Base64Encode(outside)}) {
    EXPECT_FALSE(ParseNtlmChallenge(text)) << text;
  }
}

} // namespace
} // namespace opc::inet::detail
