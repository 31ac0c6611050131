#include "base/ByteStream.h"

#include "base/Error.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace opc {
namespace {

std::string ReadAll(ByteStream& s, std::size_t chunk) {
  std::string out;
  char buffer[16];
  while (std::size_t n = s.Read(buffer, std::min(chunk, sizeof buffer))) {
    out.append(buffer, n);
  }
  return out;
}

TEST(ByteStream, WritesAtThePositionAndReadsBackInPieces) {
  ByteStream s;
  s.Write("hello world", 11);
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Position(), 11);
  s.SetPosition(6);
  s.Write("W", 1);
  EXPECT_EQ(s.Size(), 11) << "overwriting inside the stream does not grow it";
  s.SetPosition(0);
  EXPECT_EQ(ReadAll(s, 4), "hello World");
  EXPECT_EQ(s.Position(), 11);
}

TEST(ByteStream, ReadReturnsTheCountAtAndPastTheEnd) {
  ByteStream s;
  char buffer[8];
  EXPECT_EQ(s.Read(buffer, sizeof buffer), 0u);
  s.Write("abc", 3);
  s.SetPosition(1);
  EXPECT_EQ(s.Read(buffer, sizeof buffer), 2u);
  s.SetPosition(100);
  EXPECT_EQ(s.Read(buffer, sizeof buffer), 0u);
}

TEST(ByteStream, WritingPastTheEndZeroFillsTheGap) {
  ByteStream s;
  s.SetPosition(3);
  s.Write("x", 1);
  ASSERT_EQ(s.Size(), 4);
  EXPECT_EQ(std::string(s.Bytes().begin(), s.Bytes().end()), std::string("\0\0\0x", 4));
  EXPECT_THROW(s.SetPosition(-1), Error);
}

TEST(ByteStream, AClaimKeepsWhatIsCommittedAndRaisesAtTheLimit) {
  ByteStream s;
  s.SetLimit(8);
  s.Write("ab", 2);
  std::memcpy(s.Claim(4), "cdef", 4);
  s.Commit(3); // the reader filled fewer bytes than it asked room for
  EXPECT_EQ(s.Size(), 5);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_THROW(s.Claim(4), StreamLimitExceeded);
  EXPECT_EQ(std::string(s.Bytes().begin(), s.Bytes().end()), "abcde") << "nothing lost";
  s.Write("xyz", 3);
  EXPECT_EQ(std::string(s.Bytes().begin(), s.Bytes().end()), "abcdexyz");
}

TEST(ByteStream, ALargeClaimIsFilledInPlaceAfterWhatCameBefore) {
  ByteStream s;
  s.Write("head", 4);
  const std::size_t size = 3 << 20; // large enough for its pages to be made ahead of the copy
  std::uint8_t* piece = s.Claim(size);
  for (std::size_t i = 0; i < size; ++i) {
    piece[i] = static_cast<std::uint8_t>(i * 7);
  }
  s.Commit(size);
  ASSERT_EQ(s.Size(), static_cast<std::int64_t>(size + 4));
  EXPECT_EQ(std::string(s.Bytes().begin(), s.Bytes().begin() + 4), "head");
  EXPECT_EQ(s.Bytes()[4 + size - 1], static_cast<std::uint8_t>((size - 1) * 7));
}

} // namespace
} // namespace opc
