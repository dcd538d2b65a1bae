// Text fitted into the records' fields: cut to 199 units at a character's
// end, folders with "\" after each level, and every name one a host can
// save a file under.
#include "interface/record_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qibor {
namespace {

// The field's text up to its terminator, widened for comparison.
std::wstring FieldText(const RecordChar (&field)[kRecordTextUnits]) {
  std::wstring text;
  for (std::size_t i = 0; i < kRecordTextUnits && field[i] != 0; ++i) {
    text.push_back(static_cast<wchar_t>(field[i]));
  }
  return text;
}

bool AllZeroFrom(const RecordChar (&field)[kRecordTextUnits], std::size_t from) {
  for (std::size_t i = from; i < kRecordTextUnits; ++i) {
    if (field[i] != 0) return false;
  }
  return true;
}

TEST(RecordText, NamesAreCutAtACharactersEnd) {
  RecordChar field[kRecordTextUnits];
  const struct {
    std::size_t length;
    std::size_t kept;
  } lengths[] = {{0, 0}, {1, 1}, {198, 198}, {199, 199}, {200, 199}, {250, 199}};
  for (const auto& l : lengths) {
    SCOPED_TRACE(testing::Message() << "length " << l.length);
    std::memset(field, 0x5A, sizeof field);  // stale content must not survive
    std::wstring text;
    for (std::size_t i = 0; i < l.length; ++i) text.push_back(static_cast<wchar_t>(L'a' + i % 26));
    CopyToRecordText(field, text);
    EXPECT_EQ(FieldText(field), text.substr(0, l.kept));
    EXPECT_TRUE(AllZeroFrom(field, l.kept));
  }
  if constexpr (sizeof(wchar_t) == 2) {
    const wchar_t high = static_cast<wchar_t>(0xD83D);
    const wchar_t low = static_cast<wchar_t>(0xDE00);
    // The pair would straddle the last unit: it goes whole.
    std::wstring straddling(198, L'a');
    straddling += high;
    straddling += low;
    CopyToRecordText(field, straddling + L"b.png");
    EXPECT_EQ(FieldText(field), std::wstring(198, L'a'));
    // The pair ends exactly at the last unit: it stays.
    std::wstring fitting(197, L'a');
    fitting += high;
    fitting += low;
    CopyToRecordText(field, fitting + L"b.png");
    EXPECT_EQ(FieldText(field), fitting);
    EXPECT_TRUE(AllZeroFrom(field, 199));
  }
}

// What a host shows as the member's folder, and where it may be cut.
TEST(RecordText, FolderAndRecordPath) {
  RecordChar field[kRecordTextUnits];
  const struct {
    std::wstring folder;
    std::wstring path;
  } paths[] = {
      {L"", L""},
      {L"ch2/", L"ch2\\"},
      {L"d1/d2/", L"d1\\d2\\"},
      {L"d1/d2", L"d1\\d2\\"},                // a folder without its last "/"
      {L"./a//b/./", L"a\\b\\"},              // read by the tool as "a/b/"
      {L"/", L""},
      {L"../up/", L"_\\up\\"},                // no level leads a host out of its folder
      {L"x\\\\y/C:/", L"x__y\\C_\\"},         // nor splits in two, nor names a drive
      {std::wstring(198, L'a') + L"/", std::wstring(198, L'a') + L"\\"},
      {std::wstring(199, L'a') + L"/", L""},  // no room for its "\\"
      {L"top/" + std::wstring(195, L'b') + L"/", L"top\\"},
      {L"top/" + std::wstring(194, L'b') + L"/c/", L"top\\" + std::wstring(194, L'b') + L"\\"},
  };
  for (const auto& p : paths) {
    SCOPED_TRACE(testing::PrintToString(p.folder));
    std::memset(field, 0x5A, sizeof field);
    CopyFolderToRecordPath(field, p.folder);
    EXPECT_EQ(FieldText(field), p.path);
    EXPECT_TRUE(AllZeroFrom(field, p.path.size()));
  }
  if constexpr (sizeof(wchar_t) == 2) {
    // A level holding a surrogate pair goes whole or not at all.
    std::wstring pair = L"p";
    pair += static_cast<wchar_t>(0xD83D);
    pair += static_cast<wchar_t>(0xDE00);
    CopyFolderToRecordPath(field, L"top/" + std::wstring(192, L'q') + pair + L"/");
    EXPECT_EQ(FieldText(field), L"top\\");
  }
  using Cuts = std::vector<std::size_t>;
  EXPECT_EQ(RecordPathCuts(L""), Cuts{});
  EXPECT_EQ(RecordPathCuts(L"a\\bc\\"), (Cuts{2, 5}));
  EXPECT_EQ(RecordPathCuts(L"abc"), Cuts{});
}

// Hosts show a record's path and name, look members up by them and save
// files under them: each is a name Windows holds as it is.
TEST(RecordText, RecordNamesArePlainNames) {
  const struct {
    const wchar_t* text;
    const wchar_t* plain;
  } cases[] = {
      {L"pic.png", L"pic.png"},     {L"..a.jpg", L"..a.jpg"},        {L"...png", L"...png"},
      {L"console.png", L"console.png"}, {L"com10.png", L"com10.png"}, {L" lead.png", L" lead.png"},
      {L"[Art] 001.jpg", L"[Art] 001.jpg"}, {L"-P", L"-P"},
      {L"??.png", L"__.png"},       {L"at 12:00.png", L"at 12_00.png"}, {L"a<b>|c\"*.png", L"a_b__c__.png"},
      {L"back\\\\slash.png", L"back__slash.png"}, {L"tab\tin.png", L"tab_in.png"}, {L"a/b", L"a_b"},
      {L"x.jpg.", L"x.jpg_"},       {L"y.jpg ", L"y.jpg_"},          {L"z. .", L"z___"},
      {L".", L"_"},                 {L"..", L"_"},                   {L"....", L"_"},  {L"", L"_"},
      {L"CON", L"_CON"},            {L"con.txt", L"_con.txt"},       {L"LPT1", L"_LPT1"},
      {L"aux .png", L"_aux .png"},  {L"COM\u00B9.png", L"_COM\u00B9.png"}, {L"conin$", L"_conin$"},
  };
  for (const auto& c : cases) {
    const std::wstring plain = PlainNameFor(c.text);
    EXPECT_EQ(plain, c.plain) << testing::PrintToString(std::wstring(c.text));
    EXPECT_TRUE(IsPlainName(plain)) << testing::PrintToString(plain);
    EXPECT_EQ(IsPlainName(c.text), plain == c.text) << testing::PrintToString(std::wstring(c.text));
  }
}

}  // namespace
}  // namespace qibor
