#include "transport/inet/Md4.h"

#include <vector>

namespace opc::inet::detail {

namespace {

constexpr std::uint32_t Rotate(std::uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

} // namespace

std::array<std::uint8_t, 16> Md4(std::string_view bytes) {
  std::vector<std::uint8_t> message(bytes.begin(), bytes.end());
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
  message.push_back(0x80);
  while (message.size() % 64 != 56) {
    message.push_back(0);
  }
  for (int i = 0; i < 8; ++i) {
    message.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  }

  std::uint32_t h[4] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
  for (std::size_t block = 0; block < message.size(); block += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
      const std::uint8_t* p = &message[block + 4 * static_cast<std::size_t>(i)];
      x[i] = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    auto f = [](std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); };
    auto g = [](std::uint32_t x, std::uint32_t y, std::uint32_t z) {
      return (x & y) | (x & z) | (y & z);
    };
    auto hh = [](std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; };
    static constexpr int kShift1[4] = {3, 7, 11, 19};
    for (int i = 0; i < 16; ++i) {
      const std::uint32_t t = a + f(b, c, d) + x[i];
      a = d, d = c, c = b, b = Rotate(t, kShift1[i % 4]);
    }
    static constexpr int kShift2[4] = {3, 5, 9, 13};
    for (int i = 0; i < 16; ++i) {
      const int k = (i % 4) * 4 + i / 4;
      const std::uint32_t t = a + g(b, c, d) + x[k] + 0x5A827999;
      a = d, d = c, c = b, b = Rotate(t, kShift2[i % 4]);
    }
    static constexpr int kShift3[4] = {3, 9, 11, 15};
    static constexpr int kOrder3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    for (int i = 0; i < 16; ++i) {
      const std::uint32_t t = a + hh(b, c, d) + x[kOrder3[i]] + 0x6ED9EBA1;
      a = d, d = c, c = b, b = Rotate(t, kShift3[i % 4]);
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d;
  }
  std::array<std::uint8_t, 16> digest{};
  for (int i = 0; i < 16; ++i) {
    digest[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(h[i / 4] >> (8 * (i % 4)));
  }
  return digest;
}

} // namespace opc::inet::detail
