#include "extract/member_path.h"

#include <gtest/gtest.h>

#include <string>

namespace qibor {
namespace {

struct TextCase {
  const wchar_t* input;
  const wchar_t* expected;
};

std::string Shown(const wchar_t* text) { return testing::PrintToString(std::wstring(text)); }

TEST(MemberPath, SafePaths) {
  const struct {
    const wchar_t* path;
    bool safe;
  } cases[] = {
      {L"/abs.txt", false},     {L"\\abs.txt", false},         {L"C:/drive.txt", false},
      {L"c:x", false},          {L"../evil.txt", false},       {L"dir/../../up.txt", false},
      {L"a/..", false},         {L"..", false},                {L"", false},
      {L"dir\\..\\up.txt", false}, {L"dir/..\\up.txt", false},
      {L"dir/pic.png", true},   {L"[Art] T/001.jpg", true},    {L"a..b.png", true},
      {L"...png", true},        {L"-P", true},                 {L"./pic.png", true},
      {L"dir/.../pic.png", true}, {L"..a/pic.png", true},      {L"dir/a..", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSafeMemberPath(c.path), c.safe) << Shown(c.path);
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

TEST(MemberPath, ExtractedPathAndPlainName) {
  const TextCase paths[] = {
      {L"pic.png", L"pic.png"},
      {L"dir/sub/pic.png", L"dir\\sub\\pic.png"},
      {L"a\\\\b.png", L"a\\b.png"},
      {L"dir/a\\\\b/c.png", L"dir\\a\\b\\c.png"},
      {L"say \"hi\".png", L"say _hi_.png"},
      {L"a*b.png", L"a_b.png"},
      {L"a:b?c<d>e|f.png", L"a_b_c_d_e_f.png"},
      {L"[Art] T/001.jpg", L"[Art] T\\001.jpg"},
      {L"", L""},
  };
  for (const TextCase& c : paths) {
    EXPECT_EQ(ExtractedRelativePath(c.input), c.expected) << Shown(c.input);
  }

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
