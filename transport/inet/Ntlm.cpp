#include "transport/inet/Ntlm.h"

#include "transport/inet/Md4.h"

#include <chrono>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace opc::inet::detail {

namespace {

constexpr std::uint32_t kUnicode = 0x00000001;
constexpr std::uint32_t kRequestTarget = 0x00000004;
constexpr std::uint32_t kNtlm = 0x00000200;
constexpr std::uint32_t kAlwaysSign = 0x00008000;
constexpr std::uint32_t kExtendedSessionSecurity = 0x00080000;
constexpr std::uint32_t kTargetInfo = 0x00800000;
constexpr std::uint32_t k128 = 0x20000000;
// What this client asks for. Version is not negotiated, so every Version field goes as zeros.
constexpr std::uint32_t kOwnFlags =
    kUnicode | kRequestTarget | kNtlm | kAlwaysSign | kExtendedSessionSecurity | k128;

constexpr char kSignature[] = "NTLMSSP"; // with its terminating zero: 8 bytes
constexpr std::uint16_t kAvEol = 0;
constexpr std::uint16_t kAvTimestamp = 7;

void Put16(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}
void Put32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}
std::uint32_t Get32(std::string_view in, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = (value << 8) | static_cast<std::uint8_t>(in[at + static_cast<std::size_t>(i)]);
  }
  return value;
}
std::uint16_t Get16(std::string_view in, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(in[at]) |
                                    (static_cast<std::uint8_t>(in[at + 1]) << 8));
}

// Credentials reach the layer as UTF-8; NTLM wants them as UTF-16. Bytes that are no UTF-8
// stand for themselves, as the ANSI page would have them.
std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    std::uint32_t code = extra == 0 ? b : (b & (0x3F >> extra));
    bool valid = b < 0x80 || extra > 0;
    for (int k = 1; valid && k <= extra; ++k) {
      const std::size_t at = i + static_cast<std::size_t>(k);
      valid = at < text.size() && (static_cast<std::uint8_t>(text[at]) & 0xC0) == 0x80;
      code = (code << 6) | (static_cast<std::uint8_t>(valid ? text[at] : 0) & 0x3F);
    }
    if (!valid) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += 1 + static_cast<std::size_t>(extra);
  }
  return out;
}

std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    Put16(out, static_cast<std::uint16_t>(c));
  }
  return out;
}

std::u16string Upper(std::u16string text) {
  for (char16_t& c : text) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
      c = static_cast<char16_t>(c - 32);
    }
  }
  return text;
}

std::array<std::uint8_t, 16> HmacMd5(std::string_view key, std::string_view data) {
  std::array<std::uint8_t, 16> out{};
  unsigned int length = 0;
  HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(data.data()), data.size(), out.data(), &length);
  return out;
}

std::string_view Bytes(const auto& array) {
  return std::string_view(reinterpret_cast<const char*>(array.data()), array.size());
}

struct TSplitName {
  std::u16string user, domain;
};
TSplitName SplitName(const std::string& name) {
  const std::u16string whole = FromUtf8(name);
  if (const auto slash = whole.find(u'\\'); slash != std::u16string::npos) {
    return {whole.substr(slash + 1), whole.substr(0, slash)};
  }
  if (const auto at = whole.rfind(u'@'); at != std::u16string::npos) {
    return {whole.substr(0, at), whole.substr(at + 1)};
  }
  return {whole, u""};
}

// The time stamp the server put in its target information, if any.
std::optional<std::uint64_t> Timestamp(std::string_view info) {
  for (std::size_t at = 0; at + 4 <= info.size();) {
    const std::uint16_t id = Get16(info, at);
    const std::uint16_t length = Get16(info, at + 2);
    if (id == kAvEol || at + 4 + length > info.size()) {
      break;
    }
    if (id == kAvTimestamp && length == 8) {
      return static_cast<std::uint64_t>(Get32(info, at + 4)) |
             (static_cast<std::uint64_t>(Get32(info, at + 8)) << 32);
    }
    at += 4 + length;
  }
  return std::nullopt;
}

// The NTLMv2 client blob that follows the proof in the NT response.
std::string ClientBlob(const TNtlmChallenge& challenge,
                       const std::array<std::uint8_t, 8>& clientChallenge, std::uint64_t time) {
  std::string blob("\x01\x01\0\0\0\0\0\0", 8);
  Put32(blob, static_cast<std::uint32_t>(time));
  Put32(blob, static_cast<std::uint32_t>(time >> 32));
  blob += Bytes(clientChallenge);
  Put32(blob, 0);
  blob += challenge.targetInfo;
  Put32(blob, 0);
  return blob;
}

std::array<std::uint8_t, 16> ResponseKey(const TNtlmIdentity& identity) {
  const TSplitName name = SplitName(identity.user);
  const auto hash = Md4(Utf16Le(FromUtf8(identity.password)));
  return HmacMd5(Bytes(hash), Utf16Le(Upper(name.user) + name.domain));
}

} // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  if (text.empty() || text.size() % 4 != 0 || text.size() > (1u << 20)) {
    return std::nullopt;
  }
  std::string out(text.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  if (n < 0) {
    return std::nullopt;
  }
  // EVP_DecodeBlock counts the padding as zero bytes.
  std::size_t size = static_cast<std::size_t>(n);
  for (std::size_t i = text.size(); i > 0 && text[i - 1] == '=' && size > 0; --i) {
    --size;
  }
  out.resize(size);
  return out;
}

std::string NtlmNegotiateMessage() {
  std::string message(kSignature, 8);
  Put32(message, 1);
  Put32(message, kOwnFlags);
  message.append(8, '\0'); // no domain name
  message.append(8, '\0'); // no workstation
  message.append(8, '\0'); // Version, zero as it is not negotiated
  return Base64Encode(message);
}

std::optional<TNtlmChallenge> ParseNtlmChallenge(std::string_view base64) {
  const auto message = Base64Decode(base64);
  if (!message || message->size() < 48 || message->compare(0, 8, std::string(kSignature, 8)) != 0 ||
      Get32(*message, 8) != 2) {
    return std::nullopt;
  }
  TNtlmChallenge challenge;
  challenge.flags = Get32(*message, 20);
  for (std::size_t i = 0; i < 8; ++i) {
    challenge.serverChallenge[i] = static_cast<std::uint8_t>((*message)[24 + i]);
  }
  const std::uint16_t infoLength = Get16(*message, 40);
  const std::uint32_t infoOffset = Get32(*message, 44);
  if ((challenge.flags & kTargetInfo) && infoLength > 0) {
    if (infoOffset > message->size() || infoLength > message->size() - infoOffset) {
      return std::nullopt;
    }
    challenge.targetInfo = message->substr(infoOffset, infoLength);
  }
  return challenge;
}

std::array<std::uint8_t, 16> NtlmV2Proof(const TNtlmChallenge& challenge,
                                         const TNtlmIdentity& identity,
                                         const std::array<std::uint8_t, 8>& clientChallenge,
                                         std::uint64_t time) {
  const auto key = ResponseKey(identity);
  return HmacMd5(Bytes(key), std::string(Bytes(challenge.serverChallenge)) +
                                 ClientBlob(challenge, clientChallenge, time));
}

std::string NtlmAuthenticateMessage(const TNtlmChallenge& challenge, const TNtlmIdentity& identity,
                                    const std::array<std::uint8_t, 8>& clientChallenge,
                                    std::uint64_t time) {
  const auto stamp = Timestamp(challenge.targetInfo);
  if (stamp) {
    time = *stamp;
  }
  const auto key = ResponseKey(identity);
  const std::string blob = ClientBlob(challenge, clientChallenge, time);
  const auto proof = HmacMd5(Bytes(key), std::string(Bytes(challenge.serverChallenge)) + blob);
  const std::string nt = std::string(Bytes(proof)) + blob;
  // With a server time stamp the LM response goes as zeros.
  std::string lm(24, '\0');
  if (!stamp) {
    const auto lmProof = HmacMd5(Bytes(key), std::string(Bytes(challenge.serverChallenge)) +
                                                 std::string(Bytes(clientChallenge)));
    lm = std::string(Bytes(lmProof)) + std::string(Bytes(clientChallenge));
  }
  const TSplitName name = SplitName(identity.user);
  const std::string domain = Utf16Le(name.domain);
  const std::string user = Utf16Le(name.user);

  // Signature, type, six field records, flags, Version and MIC come before the payload.
  constexpr std::uint32_t kHeader = 8 + 4 + 6 * 8 + 4 + 8 + 16;
  std::string payload;
  std::string message(kSignature, 8);
  Put32(message, 3);
  auto field = [&](const std::string& bytes) {
    Put16(message, static_cast<std::uint16_t>(bytes.size()));
    Put16(message, static_cast<std::uint16_t>(bytes.size()));
    Put32(message, kHeader + static_cast<std::uint32_t>(payload.size()));
    payload += bytes;
  };
  field(lm);
  field(nt);
  field(domain);
  field(user);
  field(std::string()); // workstation
  field(std::string()); // no session key exchange
  Put32(message, (challenge.flags & kOwnFlags) | kUnicode | kNtlm);
  message.append(8, '\0');  // Version: not negotiated
  message.append(16, '\0'); // MIC: not announced in the target information, so zero
  return Base64Encode(message + payload);
}

std::string NtlmAnswer(const TNtlmChallenge& challenge, const TNtlmIdentity& identity) {
  std::array<std::uint8_t, 8> clientChallenge{};
  RAND_bytes(clientChallenge.data(), static_cast<int>(clientChallenge.size()));
  // Windows file time: 100 ns steps since 1601.
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto time = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100 +
      116444736000000000LL);
  return NtlmAuthenticateMessage(challenge, identity, clientChallenge, time);
}

} // namespace opc::inet::detail
