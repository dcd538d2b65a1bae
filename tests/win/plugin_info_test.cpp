// The texts a viewer asks for by index, through GetPluginInfoW and
// GetPluginInfo of a loaded qibor.sph, and how they are cut to the viewer's
// buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "support/plugin_host.h"
#include "support/test_support.h"

namespace qibor::test {
namespace {

constexpr wchar_t kGuardUnit = 0xCCCC;
constexpr char kGuardByte = static_cast<char>(0xCC);

// A settings file in UTF-16 (with its byte order mark), so `ext` may hold any
// character whatever the ANSI code page.
void WriteUnicodeExt(const std::wstring& iniPath, const std::wstring& ext) {
  const std::wstring text = L"\xFEFF[UserSetting]\r\next=" + ext + L"\r\n";
  WriteBytes(iniPath, std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
}

struct WideAnswer {
  int result;
  std::vector<wchar_t> buffer;
};

WideAnswer AskWide(const LoadedPlugin& plugin, int index, int length, std::size_t bufferUnits = 64) {
  WideAnswer answer{0, std::vector<wchar_t>(bufferUnits, kGuardUnit)};
  answer.result = plugin.GetPluginInfoW(index, answer.buffer.data(), length);
  return answer;
}

struct AnsiAnswer {
  int result;
  std::string buffer;
};

AnsiAnswer AskAnsi(const LoadedPlugin& plugin, int index, int length, std::size_t bufferBytes = 64) {
  AnsiAnswer answer{0, std::string(bufferBytes, kGuardByte)};
  answer.result = plugin.GetPluginInfo(index, answer.buffer.data(), length);
  return answer;
}

bool UntouchedFrom(const std::vector<wchar_t>& buffer, std::size_t from) {
  for (std::size_t i = from; i < buffer.size(); ++i)
    if (buffer[i] != kGuardUnit) return false;
  return true;
}

bool UntouchedFrom(const std::string& buffer, std::size_t from) {
  return buffer.find_first_not_of(kGuardByte, from) == std::string::npos;
}

std::string ToCodePage(UINT codePage, const std::wstring& text) {
  if (text.empty()) return {};
  const int bytes = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
  std::string converted(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), converted.data(), bytes, nullptr,
                      nullptr);
  return converted;
}

// UTF-16 of bytes in a code page; no value when they are not whole characters.
bool StrictlyFromCodePage(UINT codePage, const std::string& bytes, std::wstring& wide) {
  wide.clear();
  if (bytes.empty()) return true;
  const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                        nullptr, 0);
  if (units <= 0) return false;
  wide.resize(static_cast<std::size_t>(units));
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                      units);
  return true;
}

class PluginInfo : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.loaded()); }
  LoadedPlugin plugin{{}};
};

TEST_F(PluginInfo, EachIndexHasItsTextInBothForms) {
  struct Expected {
    int index;
    std::wstring wide;
    std::string ansi;
  };
  const std::vector<Expected> texts{{0, L"00AM", "00AM"},
                                    {1, L"qibor by Jov", "qibor by Jov"},
                                    {2, L"*.7z;*.rar", "*.7z;*.rar"},
                                    {3, L"tar file", "tar file"}};
  for (const auto& [index, text, narrow] : texts) {
    SCOPED_TRACE(testing::Message() << "index " << index);
    const WideAnswer wide = AskWide(plugin, index, 64);
    EXPECT_EQ(wide.result, static_cast<int>(text.size()));
    EXPECT_EQ(std::wstring(wide.buffer.data()), text);

    const AnsiAnswer ansi = AskAnsi(plugin, index, 64);
    EXPECT_EQ(ansi.result, static_cast<int>(text.size()));
    EXPECT_EQ(std::string(ansi.buffer.c_str()), narrow);
    // Exactly the text and its terminator are written.
    EXPECT_TRUE(UntouchedFrom(ansi.buffer, text.size() + 1));
    EXPECT_TRUE(UntouchedFrom(wide.buffer, text.size() + 1));
  }
}

TEST_F(PluginInfo, OtherIndexesWriteNothing) {
  for (int index : {4, 5, -1, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(testing::Message() << "index " << index);
    const WideAnswer wide = AskWide(plugin, index, 64);
    EXPECT_EQ(wide.result, 0);
    EXPECT_TRUE(UntouchedFrom(wide.buffer, 0));
    const AnsiAnswer ansi = AskAnsi(plugin, index, 64);
    EXPECT_EQ(ansi.result, 0);
    EXPECT_TRUE(UntouchedFrom(ansi.buffer, 0));
  }
}

TEST_F(PluginInfo, ExtSettingIsReportedWithSemicolonsAndReadOnEveryCall) {
  WriteSettings(plugin.IniPath(), {{L"ext", L"*.7z,*.rar,*.zip"}});
  WideAnswer wide = AskWide(plugin, 2, 64);
  EXPECT_EQ(wide.result, 16);
  EXPECT_EQ(std::wstring(wide.buffer.data()), L"*.7z;*.rar;*.zip");
  AnsiAnswer ansi = AskAnsi(plugin, 2, 64);
  EXPECT_EQ(ansi.result, 16);
  EXPECT_EQ(std::string(ansi.buffer.c_str()), "*.7z;*.rar;*.zip");

  // Semicolons stay, and an edit shows on the next call without reloading.
  WriteSettings(plugin.IniPath(), {{L"ext", L"*.cbz;*.cb7,,*.tar"}});
  wide = AskWide(plugin, 2, 64);
  EXPECT_EQ(std::wstring(wide.buffer.data()), L"*.cbz;*.cb7;;*.tar");
  EXPECT_EQ(wide.result, 18);
}

TEST_F(PluginInfo, TextIsCutToTheHostBufferWithItsTerminator) {
  // Index 3 is "tar file".
  for (int length = 1; length <= 10; ++length) {
    SCOPED_TRACE(testing::Message() << "length " << length);
    const auto expected = static_cast<std::size_t>(length < 9 ? length - 1 : 8);
    const WideAnswer wide = AskWide(plugin, 3, length);
    EXPECT_EQ(wide.result, static_cast<int>(expected));
    EXPECT_EQ(std::wstring(wide.buffer.data()), std::wstring(L"tar file").substr(0, expected));
    EXPECT_TRUE(UntouchedFrom(wide.buffer, expected + 1));

    const AnsiAnswer ansi = AskAnsi(plugin, 3, length);
    EXPECT_EQ(ansi.result, static_cast<int>(expected));
    EXPECT_EQ(std::string(ansi.buffer.c_str()), std::string("tar file").substr(0, expected));
    EXPECT_TRUE(UntouchedFrom(ansi.buffer, expected + 1));
  }
}

TEST_F(PluginInfo, NoRoomOrNoBufferWritesNothing) {
  for (int length : {0, -1, INT_MIN}) {
    SCOPED_TRACE(testing::Message() << "length " << length);
    const WideAnswer wide = AskWide(plugin, 1, length);
    EXPECT_EQ(wide.result, 0);
    EXPECT_TRUE(UntouchedFrom(wide.buffer, 0));
    const AnsiAnswer ansi = AskAnsi(plugin, 1, length);
    EXPECT_EQ(ansi.result, 0);
    EXPECT_TRUE(UntouchedFrom(ansi.buffer, 0));
  }
  EXPECT_EQ(plugin.GetPluginInfoW(1, nullptr, 64), 0);
  EXPECT_EQ(plugin.GetPluginInfo(1, nullptr, 64), 0);
}

TEST_F(PluginInfo, WideCutNeverSplitsASurrogatePair) {
  const std::wstring ext = L"*.a\U0001F600b\U0001F600";  // units: * . a hi lo b hi lo
  WriteUnicodeExt(plugin.IniPath(), ext);
  ASSERT_EQ(std::wstring(AskWide(plugin, 2, 64).buffer.data()), ext);
  for (int length = 1; length <= static_cast<int>(ext.size()) + 2; ++length) {
    SCOPED_TRACE(testing::Message() << "length " << length);
    const WideAnswer wide = AskWide(plugin, 2, length);
    const std::wstring written(wide.buffer.data());
    ASSERT_LT(written.size(), static_cast<std::size_t>(length));
    EXPECT_EQ(wide.result, static_cast<int>(written.size()));
    EXPECT_EQ(ext.substr(0, written.size()), written);
    EXPECT_TRUE(UntouchedFrom(wide.buffer, written.size() + 1));
    if (!written.empty()) {
      EXPECT_FALSE(IS_HIGH_SURROGATE(written.back()));
    }
    // The longest whole-character start that fits.
    const std::size_t room = static_cast<std::size_t>(length) - 1;
    std::size_t longest = std::min(room, ext.size());
    if (longest < ext.size() && longest > 0 && IS_HIGH_SURROGATE(ext[longest - 1])) --longest;
    EXPECT_EQ(written.size(), longest);
  }
}

// Run with Wine under LC_ALL=ja_JP.UTF-8, where the ANSI code page is 932 and
// a kanji takes two bytes.
TEST(Cp932PluginInfo, AnsiExtIsInCp932AndCountsUtf16Units) {
  if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
  LoadedPlugin plugin{{}};
  ASSERT_TRUE(plugin.loaded());
  const std::wstring ext = L"*.画像;*.写真";
  const std::string bytes = ToCodePage(932, ext);
  ASSERT_EQ(bytes.size(), 13u);
  WriteUnicodeExt(plugin.IniPath(), L"*.画像,*.写真");

  const AnsiAnswer full = AskAnsi(plugin, 2, 64);
  EXPECT_EQ(full.result, 9);  // units, not the 13 bytes written
  EXPECT_EQ(std::string(full.buffer.c_str()), bytes);
  EXPECT_TRUE(UntouchedFrom(full.buffer, bytes.size() + 1));

  for (int length = 1; length <= static_cast<int>(bytes.size()) + 2; ++length) {
    SCOPED_TRACE(testing::Message() << "length " << length);
    const AnsiAnswer ansi = AskAnsi(plugin, 2, length);
    const std::string written(ansi.buffer.c_str());
    ASSERT_LT(written.size(), static_cast<std::size_t>(length));
    EXPECT_TRUE(UntouchedFrom(ansi.buffer, written.size() + 1));
    std::wstring back;
    ASSERT_TRUE(StrictlyFromCodePage(932, written, back)) << "half a character written";
    EXPECT_EQ(ext.substr(0, back.size()), back);
    EXPECT_EQ(ansi.result, static_cast<int>(back.size()));
    // Nothing that would still have fit was left out.
    if (back.size() < ext.size()) {
      EXPECT_GT(ToCodePage(932, ext.substr(0, back.size() + 1)).size() + 1, static_cast<std::size_t>(length));
    }
  }
}

}  // namespace
}  // namespace qibor::test
