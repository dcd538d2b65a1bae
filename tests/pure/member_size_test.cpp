#include "listing/member_size.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace qibor {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

struct SizeCase {
  const wchar_t* verbose;
  const wchar_t* plain;
  std::int64_t expected;
};

// Lines as the tool writes them, in both date forms and with awkward names.
TEST(MemberSize, ListingLines) {
  const SizeCase cases[] = {
      {L"-rw-r--r--  0 user   group    1234 Jan 01  2024 dir/a.txt", L"dir/a.txt", 1234},
      {L"-rw-r--r--  0 user   group    1234 Jan 01 12:34 dir/a.txt", L"dir/a.txt", 1234},
      {L"-rw-r--r--  0 0      0           5 Dec 09 06:24 a.png", L"a.png", 5},
      {L"-rw-r--r--  0 root   root 67108865 Dec 09 06:24 over.bin", L"over.bin", 67108865},
      {L"-rw-r--r--  0 user   group 1234 Jan 01  2024 my file.txt", L"my file.txt", 1234},
      // Spaces and colons inside the name must not be taken for date fields.
      {L"-rw-r--r--  0 user   group    77 Jan 01  2024 my  file.txt", L"my  file.txt", 77},
      {L"-rw-r--r--  0 user   group    77 Jan 01 12:34 my  file.txt", L"my  file.txt", 77},
      {L"-rw-r--r--  0 user   group     9 Jan 01  2024 at 10:30.png", L"at 10:30.png", 9},
      // The name also appears earlier in the line; only its last place counts.
      {L"-rw-r--r--  0 5      5           7 Dec 09 06:24 5", L"5", 7},
      // A plain line that is not in the verbose line still leaves the size.
      {L"-rw-r--r--  0 user   group    1234 Jan 01  2024 dir/a.txt", L"other.txt", 1234},
      {L"-rw-r--r--  0 user   group    1234 Jan 01  2024 dir/a.txt", L"", 1234},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "verbose line " << (&c - cases));
    EXPECT_EQ(ParseMemberSize(c.verbose, c.plain), c.expected);
  }
}

// The number itself: 64 bits, sign, clamping, and lines of no known shape.
TEST(MemberSize, NumberAndOddLines) {
  const SizeCase cases[] = {
      {L"-rw-r--r--  0 user   group 3000000000 Jan 01  2024 big.bin", L"big.bin", 3000000000LL},
      {L"-rw-r--r--  0 user   group -5 Jan 01  2024 neg.bin", L"neg.bin", -5},
      {L"-rw-r--r--  0 user   group +12 Jan 01  2024 pos.bin", L"pos.bin", 12},
      {L"-rw-r--r--  0 u g 9223372036854775807 Jan 01  2024 f", L"f", kMax},
      {L"-rw-r--r--  0 u g 9223372036854775808 Jan 01  2024 f", L"f", kMax},
      {L"-rw-r--r--  0 u g 123456789012345678901234567890 Jan 01  2024 f", L"f", kMax},
      {L"-rw-r--r--  0 u g -9223372036854775807 Jan 01  2024 f", L"f", kMin + 1},
      {L"-rw-r--r--  0 u g -9223372036854775808 Jan 01  2024 f", L"f", kMin},
      {L"-rw-r--r--  0 u g -123456789012345678901234567890 Jan 01  2024 f", L"f", kMin},
      // Digits stop at the first other character.
      {L"-rw-r--r--  0 u g 12k Jan 01  2024 f", L"f", 12},
      {L"1234", L"x", 1234},
      {L"", L"", 0},
      {L"", L"a.png", 0},
      {L"a.png", L"a.png", 0},
      {L"tar.exe: Error opening archive: Unrecognized archive format", L"", 0},
      {L"-", L"", 0},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_EQ(ParseMemberSize(c.verbose, c.plain), c.expected);
  }
}

TEST(MemberSize, LimitAndKept) {
  EXPECT_EQ(SizeLimitFromMaxMB(64), 67108864);
  EXPECT_EQ(SizeLimitFromMaxMB(1), 1048576);
  EXPECT_EQ(SizeLimitFromMaxMB(0), 0);
  EXPECT_EQ(SizeLimitFromMaxMB(-1), 0);
  EXPECT_EQ(SizeLimitFromMaxMB(std::numeric_limits<int>::min()), 0);
  // No 32-bit wrap on the way to bytes.
  EXPECT_EQ(SizeLimitFromMaxMB(2048), std::int64_t{1} << 31);
  EXPECT_EQ(SizeLimitFromMaxMB(4096), std::int64_t{1} << 32);
  EXPECT_EQ(SizeLimitFromMaxMB(std::numeric_limits<int>::max()),
            static_cast<std::int64_t>(std::numeric_limits<int>::max()) * 1048576);

  const std::int64_t limit = SizeLimitFromMaxMB(64);
  EXPECT_TRUE(IsKeptMember(1, limit));
  EXPECT_TRUE(IsKeptMember(67108864, limit));
  EXPECT_FALSE(IsKeptMember(67108865, limit));
  EXPECT_FALSE(IsKeptMember(0, limit));
  EXPECT_FALSE(IsKeptMember(-5, limit));
  EXPECT_FALSE(IsKeptMember(kMin, limit));
  EXPECT_FALSE(IsKeptMember(kMax, limit));
  EXPECT_FALSE(IsKeptMember(1, SizeLimitFromMaxMB(0)));
  EXPECT_TRUE(IsKeptMember(3000000000LL, SizeLimitFromMaxMB(4096)));
}

}  // namespace
}  // namespace qibor
