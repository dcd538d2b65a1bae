#pragma once
// qibor.ini beside the module, section "UserSetting". Read afresh on every
// call so an edit takes effect on the next request; never written.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace qibor {

inline constexpr wchar_t kDefaultToolDir[] = L"C:\\Windows\\System32";
inline constexpr int kDefaultMaxMB = 64;
inline constexpr wchar_t kDefaultExt[] = L"*.7z;*.rar";
inline constexpr wchar_t kDefaultTarExtensions[] = L"*.tar,*.tgz,*.taz";

// The module whose path names the settings file; set by the module entry
// point. Null (as in test programs) means the process's own executable.
void SetSettingsModule(HMODULE module);
HMODULE SettingsModule();

// The module's own path with its extension replaced by ".ini".
std::wstring SettingsPath();

// A key's whole value, or the default when the file or the key is missing.
std::wstring ReadSettingString(const wchar_t* key, const wchar_t* defaultValue);
int ReadSettingInt(const wchar_t* key, int defaultValue);

std::wstring ReadToolDir();
int ReadMaxMB();
std::wstring ReadExtPatterns();
std::wstring ReadTarExtensions();

// `dir` joined with "tar.exe"; empty when `dir` is relative or the result
// does not fit a path.
std::wstring ToolPath();

}  // namespace qibor
