#include "text/CrLfWriter.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace opc {
namespace {

std::string Written(const std::string& text, int unitSize = 1, bool bigEndian = false) {
  std::string out;
  WriteLinesCrLf({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, unitSize,
                 bigEndian, [&](const std::uint8_t* data, std::size_t size) {
                   out.append(reinterpret_cast<const char*>(data), size);
                 });
  return out;
}

// One unit at a time, the way the conversion reads when written out plainly; the writer's runs
// and skips must give the same bytes.
std::string Plain(const std::string& text, int unitSize, bool bigEndian) {
  const std::size_t units = text.size() / unitSize;
  const auto at = [&](std::size_t i) -> unsigned {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    return unitSize == 1 ? b(i)
           : bigEndian   ? (b(2 * i) << 8) | b(2 * i + 1)
                         : b(2 * i) | (b(2 * i + 1) << 8);
  };
  const std::string crlf = unitSize == 1 ? std::string("\r\n")
                           : bigEndian   ? std::string("\0\r\0\n", 4)
                                         : std::string("\r\0\n\0", 4);
  std::string out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < units; ++i) {
    const unsigned c = at(i);
    if (c == 13 || c == 10) {
      out += text.substr(start * unitSize, (i - start) * unitSize) + crlf;
      i += c == 13 && i + 1 < units && at(i + 1) == 10;
      start = i + 1;
    }
  }
  if (start < units) {
    out += text.substr(start * unitSize, (units - start) * unitSize) + crlf;
  }
  return out;
}

struct Case {
  const char* name;
  std::string text;
  std::string written;
};

class CrLfWriter : public testing::TestWithParam<Case> {};

TEST_P(CrLfWriter, EndsEveryLineWithCrLf) {
  EXPECT_EQ(Written(GetParam().text), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CrLfWriter,
    testing::Values(Case{"empty", "", ""}, Case{"one_line", "<a/>", "<a/>\r\n"},
                    Case{"crlf_kept", "a\r\nb\r\n", "a\r\nb\r\n"},
                    Case{"lone_lf", "a\nb", "a\r\nb\r\n"}, Case{"lone_cr", "a\rb\r", "a\r\nb\r\n"},
                    Case{"cr_cr_lf", "a\r\r\nb", "a\r\n\r\nb\r\n"},
                    Case{"lf_cr", "a\n\rb", "a\r\n\r\nb\r\n"},
                    Case{"only_breaks", "\n\r\n\r", "\r\n\r\n\r\n"},
                    Case{"cr_at_the_end", "a\r", "a\r\n"},
                    Case{"nul_kept", std::string("a\0b", 3), std::string("a\0b\r\n", 5)}),
    [](const auto& info) { return std::string(info.param.name); });

// Texts of random breaks in each unit size, both dense (breaks next to each other, at the ends)
// and sparse (long runs between breaks, so that a break falls anywhere in a scanned block),
// written as the plain reading gives them.
TEST(CrLfWriterMixes, MatchThePlainReading) {
  std::mt19937 random(13);
  for (int round = 0; round < 400; ++round) {
    const bool sparse = round % 2 == 1;
    std::string text(random() % (sparse ? 2000 : 200), ' ');
    for (char& c : text) {
      const unsigned pick = random() % (sparse ? 60 : 5);
      c = pick == 0   ? '\r'
          : pick == 1 ? '\n'
          : pick == 2 ? '\0'
                      : static_cast<char>('a' + pick % 26);
    }
    for (const auto& [unit, big] : {std::pair{1, false}, {2, false}, {2, true}}) {
      ASSERT_EQ(Written(text, unit, big), Plain(text, unit, big))
          << "unit " << unit << (big ? " BE" : "") << ", text of " << text.size() << " bytes";
    }
  }
}

} // namespace
} // namespace opc
