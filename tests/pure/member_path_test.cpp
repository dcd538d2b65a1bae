#include "extract/member_path.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace qibor {
namespace {

struct TextCase {
  const wchar_t* input;
  const wchar_t* expected;
};

std::string Shown(const wchar_t* text) { return testing::PrintToString(std::wstring(text)); }

// Paths Windows would resolve to another file than the one named, maybe
// outside the request folder, are refused before any run.
TEST(MemberPath, OnlyPathsOfPlainNamesAreWritten) {
  const wchar_t* refused[] = {
      L"/abs.txt", L"\\abs.txt", L"C:/drive.txt", L"c:x", L"a:b.png", L"../evil.txt", L"dir/../../up.txt", L"a/..", L"..",
      L"", L"dir\\..\\up.txt", L"dir/..\\up.txt", L".../x.jpg", L"dir/.../pic.png", L"..../x",
      // Windows drops a trailing dot or space: "a." is "a".
      L"x.jpg.", L"x.jpg ", L"dir./x.jpg", L"dir /x.jpg",
      // Devices, in any folder and with any extension.
      L"CON", L"sub/con.txt", L"LPT1", L"lpt1.png", L"aux .png", L"Nul", L"com9.jpg", L"COM\u00B9.png",
      L"conin$", L"a/CONOUT$.txt",
      // Empty and "." steps are other spellings of a name.
      L"d//b.jpg", L"d/./b.jpg", L"d/", L"./", L".",
      // Control characters, and escapes standing for them.
      L"tab\tin.png", L"ctl\\001.png", L"x\\", L"del\x7F.png",
  };
  for (const wchar_t* path : refused) EXPECT_FALSE(WrittenRelativePath(path).has_value()) << Shown(path);

  const TextCase written[] = {
      {L"pic.png", L"pic.png"},
      {L"dir/sub/pic.png", L"dir\\sub\\pic.png"},
      {L"./pic.png", L"pic.png"},
      {L"././dir/pic.png", L"dir\\pic.png"},
      {L"a\\\\b.png", L"a\\b.png"},
      {L"dir/a\\\\b/c.png", L"dir\\a\\b\\c.png"},
      {L"say \"hi\".png", L"say _hi_.png"},
      {L"a*b.png", L"a_b.png"},
      {L"ab:c?d<e>f|g.png", L"ab_c_d_e_f_g.png"},
      {L"[Art] T/001.jpg", L"[Art] T\\001.jpg"},
      {L"..a.jpg", L"..a.jpg"},
      {L"a..b.png", L"a..b.png"},
      {L"...png", L"...png"},
      {L"..a/pic.png", L"..a\\pic.png"},
      {L"-P", L"-P"},
      {L"console.png", L"console.png"},
      {L"com10.png", L"com10.png"},
      {L"lpt.png", L"lpt.png"},
      {L" lead.png", L" lead.png"},
  };
  for (const TextCase& c : written) {
    const std::optional<std::wstring> path = WrittenRelativePath(c.input);
    ASSERT_TRUE(path.has_value()) << Shown(c.input);
    EXPECT_EQ(*path, c.expected) << Shown(c.input);
  }
}

TEST(MemberPath, EscapedPattern) {
  const TextCase cases[] = {
      {L"a.png", L"a.png"},
      {L"*", L"\\*"},
      {L"?", L"\\?"},
      {L"[", L"\\["},
      {L"]", L"\\]"},
      {L"a*b?c[d]e.png", L"a\\*b\\?c\\[d\\]e.png"},
      {L"[Art] T/001.jpg", L"\\[Art\\] T/001.jpg"},
      {L"x]y.png", L"x\\]y.png"},
      // Anchors only where the tool reads them as anchors.
      {L"^up.png", L"\\^up.png"},
      {L"cost$", L"cost\\$"},
      {L"a^b$c", L"a^b$c"},
      {L"^", L"\\^"},
      {L"$", L"\\$"},
      {L"^a$", L"\\^a\\$"},
      {L"$a^", L"$a^"},
      // The listing already wrote a backslash as two.
      {L"a\\\\b.png", L"a\\\\b.png"},
      {L"", L""},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(EscapeMemberPattern(c.input), c.expected) << Shown(c.input);
  }
}

// The levels the tool strips are counted as it counts them, in the bytes it
// holds: every "/" and every 5C byte up to the last "/", which in a
// double-byte code page may end a character.
TEST(MemberPath, MembersInFoldersAreWrittenAtTheTop) {
  const struct {
    std::string bytes;
    const wchar_t* printed;
    const wchar_t* written;  // as WrittenRelativePath makes it
    unsigned levels;
    const wchar_t* writtenName;
    const wchar_t* printedName;
  } cases[] = {
      {"a/b/c.png", L"a/b/c.png", L"a\\b\\c.png", 2, L"c.png", L"c.png"},
      {"./a/b.png", L"./a/b.png", L"a\\b.png", 2, L"b.png", L"b.png"},
      {"\x83\x5C" "a/y.png", L"\u30BDa/y.png", L"\u30BDa\\y.png", 2, L"y.png", L"y.png"},
      {"\x83\x5C/y.png", L"\u30BD/y.png", L"\u30BD\\y.png", 2, L"y.png", L"y.png"},
      {"d/at 12:00.png", L"d/at 12:00.png", L"d\\at 12_00.png", 1, L"at 12_00.png", L"at 12:00.png"},
  };
  for (const auto& c : cases) {
    const std::optional<TopLevelWrite> top = TopLevelWriteOf(c.bytes, c.printed, c.written);
    ASSERT_TRUE(top.has_value()) << Shown(c.printed);
    EXPECT_EQ(top->strippedLevels, c.levels) << Shown(c.printed);
    EXPECT_EQ(top->writtenName, c.writtenName);
    EXPECT_EQ(top->printedName, c.printedName);
  }

  const struct {
    std::string bytes;
    const wchar_t* printed;
    const wchar_t* written;
  } staying[] = {
      {"pic.png", L"pic.png", L"pic.png"},          // no folder
      {"./pic.png", L"./pic.png", L"pic.png"},      // at the top already
      {"a/\x95\x5C.jpg", L"a/\u8868.jpg", L"a\\\u8868.jpg"},  // the tool would cut the name at its 5C byte
      {"a\\\\b/c.png", L"a\\\\b/c.png", L"a\\b\\c.png"},  // an escape: a real backslash
  };
  for (const auto& c : staying) {
    EXPECT_FALSE(TopLevelWriteOf(c.bytes, c.printed, c.written).has_value()) << Shown(c.printed);
  }
}

TEST(MemberPath, PlainFileNames) {
  const struct {
    const wchar_t* name;
    bool plain;
  } names[] = {
      {L"", false},           {L".", false},          {L"..", false},
      {L"a\\b.png", false},   {L"a/b.png", false},    {L"c:b.png", false},
      {L"pic.png", true},     {L"say \"hi\".png", true}, {L"...", true},
      {L".hidden", true},     {L"[Art] 001.jpg", true},
  };
  for (const auto& n : names) {
    EXPECT_EQ(IsPlainFileName(n.name), n.plain) << Shown(n.name);
  }
}

}  // namespace
}  // namespace qibor
