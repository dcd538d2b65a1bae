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

}  // namespace
}  // namespace qibor
