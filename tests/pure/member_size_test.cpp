#include "listing/member_size.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace qibor {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

struct SizeCase {
  const char* verbose;
  const char* plain;
  std::int64_t expected;
};

// Lines as the tool writes them, in both date forms and with awkward names.
TEST(MemberSize, ListingLines) {
  const SizeCase cases[] = {
      {"-rw-r--r--  0 user   group    1234 Jan 01  2024 dir/a.txt", "dir/a.txt", 1234},
      {"-rw-r--r--  0 user   group    1234 Jan 01 12:34 dir/a.txt", "dir/a.txt", 1234},
      {"-rw-r--r--  0 0      0           5 Dec 09 06:24 a.png", "a.png", 5},
      {"-rw-r--r--  0 root   root 67108865 Dec 09 06:24 over.bin", "over.bin", 67108865},
      {"-rw-r--r--  0 user   group 1234 Jan 01  2024 my file.txt", "my file.txt", 1234},
      // Spaces and colons inside the name must not be taken for date fields.
      {"-rw-r--r--  0 user   group    77 Jan 01  2024 my  file.txt", "my  file.txt", 77},
      {"-rw-r--r--  0 user   group    77 Jan 01 12:34 my  file.txt", "my  file.txt", 77},
      {"-rw-r--r--  0 user   group     9 Jan 01  2024 at 10:30.png", "at 10:30.png", 9},
      // The name also appears earlier in the line; only its last place counts.
      {"-rw-r--r--  0 5      5           7 Dec 09 06:24 5", "5", 7},
      // A plain line that is not in the verbose line still leaves the size.
      {"-rw-r--r--  0 user   group    1234 Jan 01  2024 dir/a.txt", "other.txt", 1234},
      {"-rw-r--r--  0 user   group    1234 Jan 01  2024 dir/a.txt", "", 1234},
      // Code page 932 bytes: a month "12\x8c\x8e" and a name whose second
      // byte is "\\"; with one space more the cut still finds the year.
      {"-rw-r--r--  0 user   group    1234 12\x8c\x8e 09 06:24 \x95\x5c.png", "\x95\x5c.png", 1234},
      {"-rw-r--r--  0 \x83\x86\x81[\x83U group  88 12\x8c\x8e 09  2024 \x8e\xca\x90\x5e/\x95\x5c.png",
       "\x8e\xca\x90\x5e/\x95\x5c.png", 88},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "verbose line " << (&c - cases));
    EXPECT_EQ(ParseMemberSize(c.verbose, c.plain), c.expected);
  }
}

// Every date form the tool prints, in the tool's own layout: a date it
// cannot convert (before 1970, after 3000) is printed as nothing or as
// "-- -- ----", and the month is in the user's language.
TEST(MemberSize, EveryDateForm) {
  const SizeCase cases[] = {
      {"-rw-r--r--  0 user   group      16 Dec 09 04:48 a.txt", "a.txt", 16},
      {"-rw-r--r--  0 user   group      16 Jan 01  2024 a.txt", "a.txt", 16},
      {"-rw-r--r--  0 user   group      16 Jan 01  3000 a.txt", "a.txt", 16},
      // Older tools: the empty date leaves two spaces between size and name.
      {"-rw-r--r--  0 user   group      16  old.txt", "old.txt", 16},
      {"-rw-r--r--  0 user   group      16  dir/old 2.txt", "dir/old 2.txt", 16},
      {"-rw-r--r--  0 user   group      16    spaced.txt", "  spaced.txt", 16},
      // Newer tools.
      {"-rw-r--r--  0 user   group      17 -- -- ---- future.txt", "future.txt", 17},
      {"-rw-r--r--  0 user   group      17 -- -- ---- -- -- ---- 5.txt", "-- -- ---- 5.txt", 17},
      // Month names of other languages, before or after the day, and a day
      // padded with a space.
      {"-rw-r--r--  0 user   group    1234 12\x8c\x8e 09 05:16 a.png", "a.png", 1234},
      {"-rw-r--r--  0 user   group    1234 12\x8c\x8e 09  2024 a.png", "a.png", 1234},
      {"-rw-r--r--  0 user   group    1234 d\xe9" "c. 09  2024 a.png", "a.png", 1234},
      {"-rw-r--r--  0 user   group    1234 09 Dez  2024 a.png", "a.png", 1234},
      {"-rw-r--r--  0 user   group    1234 Dec  9 04:48 a.png", "a.png", 1234},
      // The name looks like a date and a size, in each form.
      {"-rw-r--r--  0 user   group       3 Jan 01  2024 9 Jan 01  2024 x", "9 Jan 01  2024 x", 3},
      {"-rw-r--r--  0 user   group       3  9  x", "9  x", 3},
      {"-rw-r--r--  0 user   group       3 -- -- ---- 9 -- -- ---- x", "9 -- -- ---- x", 3},
      // Wide user and group names push the size right; names with spaces.
      {"-rw-r--r--  0 averyveryverylongusername averyveryverylonggroupname 5 Jan 01  2024 a", "a", 5},
      {"-rw-r--r--  0 Administrator Domain Users 2048 Jan 01  2024 a", "a", 2048},
      {"-rw-r--r--+ 1 user   group      64 Jan 01  2024 acl.bin", "acl.bin", 64},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "date form " << (&c - cases));
    EXPECT_EQ(ParseMemberSize(c.verbose, c.plain), c.expected);
  }
}

// A link's line goes on after its name; the target may hold the name and a
// whole date and size, and must not give the size.
TEST(MemberSize, LinkLinesAreNotFooledByTheirTarget) {
  const SizeCase cases[] = {
      {"lrwxr-xr-x  0 user   group       0 Jan 01  2024 a -> x 16 Jan 01  2020 a/../v.txt", "a", 0},
      {"lrwxr-xr-x  0 user   group       0 Jan 01  2024 a -> x 16 Jan 01  2020 a", "a", 0},
      {"lrwxr-xr-x  0 user   group       0 Jan 01  2024 a -> x 16 Jan 01  2020 a -> b", "a", 0},
      {"lrwxr-xr-x  0 user   group       0 Dec 09 04:48 a -> a", "a", 0},
      {"lrwxr-xr-x  0 user   group       0  a -> x 16  a", "a", 0},
      {"lrwxr-xr-x  0 user   group       0 -- -- ---- a -> x 16 -- -- ---- a", "a", 0},
      // A link that names itself or a file of its own name and date.
      {"-rw-r--r--  0 user   group       0 Jan 01  2024 b link to b", "b", 0},
      {"-rw-r--r--  0 user   group       0 Jan 01  2024 b link to x 16 Jan 01  2020 b", "b", 0},
      // A hard link that carries data keeps its own size.
      {"-rw-r--r--  0 user   group      12 Jan 01  2024 b link to x 16 Jan 01  2020 b", "b", 12},
      // A symbolic link whose line does not hold the name in a link's shape.
      {"lrwxr-xr-x  0 user   group       0 Jan 01  2024 x -> 16 Jan 01  2020 a", "a", 0},
      // A file whose name holds " -> " or " link to " is a file.
      {"-rw-r--r--  0 user   group       9 Jan 01  2024 a -> b", "a -> b", 9},
      {"-rw-r--r--  0 user   group       9 Jan 01  2024 a link to b", "a link to b", 9},
      // The name inside the line but not at its end, in no link's shape.
      {"-rw-r--r--  0 user   group      16 Jan 01  2020 a/../v.txt", "a", 0},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "link line " << (&c - cases));
    EXPECT_EQ(ParseMemberSize(c.verbose, c.plain), c.expected);
  }
}

// The number itself: 64 bits, sign, clamping, and lines of no known shape.
TEST(MemberSize, NumberAndOddLines) {
  const SizeCase cases[] = {
      {"-rw-r--r--  0 user   group 3000000000 Jan 01  2024 big.bin", "big.bin", 3000000000LL},
      {"-rw-r--r--  0 user   group -5 Jan 01  2024 neg.bin", "neg.bin", -5},
      {"-rw-r--r--  0 user   group +12 Jan 01  2024 pos.bin", "pos.bin", 12},
      {"-rw-r--r--  0 u g 9223372036854775807 Jan 01  2024 f", "f", kMax},
      {"-rw-r--r--  0 u g 9223372036854775808 Jan 01  2024 f", "f", kMax},
      {"-rw-r--r--  0 u g 123456789012345678901234567890 Jan 01  2024 f", "f", kMax},
      {"-rw-r--r--  0 u g -9223372036854775807 Jan 01  2024 f", "f", kMin + 1},
      {"-rw-r--r--  0 u g -9223372036854775808 Jan 01  2024 f", "f", kMin},
      {"-rw-r--r--  0 u g -123456789012345678901234567890 Jan 01  2024 f", "f", kMin},
      // Digits stop at the first other character.
      {"-rw-r--r--  0 u g 12k Jan 01  2024 f", "f", 12},
      {"1234", "x", 1234},
      {"", "", 0},
      {"", "a.png", 0},
      {"a.png", "a.png", 0},
      {"tar.exe: Error opening archive: Unrecognized archive format", "", 0},
      {"-", "", 0},
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
