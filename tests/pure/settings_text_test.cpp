// The settings section read in one piece, taken apart as the profile calls
// read single keys.
#include "interface/settings_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace qibor {
namespace {

using namespace std::string_literals;

TEST(SettingsText, MissingKeysKeepTheirDefaultsAndEmptyValuesAreEmpty) {
  const Settings none = ParseSettingsSection(L"");
  EXPECT_EQ(none.toolDir, L"C:\\Windows\\System32");
  EXPECT_EQ(none.maxMB, 64);
  EXPECT_EQ(none.ext, L"*.7z;*.rar");
  EXPECT_EQ(none.tarExtensions, L"*.tar,*.tgz,*.taz");
  EXPECT_EQ(none.cacheMB, sizeof(void*) == 4 ? 64 : 256);

  const Settings empty = ParseSettingsSection(L"tar=\0other=1\0"s);
  EXPECT_EQ(empty.tarExtensions, L"");
  EXPECT_EQ(empty.ext, L"*.7z;*.rar");
}

TEST(SettingsText, KeysInAnyCaseFirstOneCountsSpacesAndQuotesDropped) {
  const Settings s = ParseSettingsSection(
      L"DIR = \"C:\\Program Files\\tool\" \0maxmb=128\0Ext=*.zip,*.7z\0dir=D:\\second\0no equals sign\0CACHEmb=0\0"s);
  EXPECT_EQ(s.toolDir, L"C:\\Program Files\\tool");
  EXPECT_EQ(s.maxMB, 128);
  EXPECT_EQ(s.cacheMB, 0);
  EXPECT_EQ(s.ext, L"*.zip,*.7z");
  // A value that only starts with a quote keeps it.
  EXPECT_EQ(ParseSettingsSection(L"ext=\"*.7z\0"s).ext, L"\"*.7z");
  EXPECT_EQ(ParseSettingsSection(L"ext='*.7z'\0"s).ext, L"*.7z");
}

TEST(SettingsText, IntegersAsTheProfileReadsThem) {
  EXPECT_EQ(ProfileInteger(L"64"), 64);
  EXPECT_EQ(ProfileInteger(L"  -5"), -5);
  EXPECT_EQ(ProfileInteger(L"+7"), 7);
  EXPECT_EQ(ProfileInteger(L"abc"), 0);
  EXPECT_EQ(ProfileInteger(L""), 0);
  EXPECT_EQ(ProfileInteger(L"12abc"), 12);
  EXPECT_EQ(ProfileInteger(L"99999999999"), INT_MAX);
  EXPECT_EQ(ProfileInteger(L"-99999999999"), INT_MIN);
  EXPECT_EQ(ProfileInteger(L"2147483647"), INT_MAX);
  EXPECT_EQ(ProfileInteger(L"-2147483648"), INT_MIN);
}

}  // namespace
}  // namespace qibor
