#pragma once
// qibor.ini beside the module, section "UserSetting". Each request reads it
// once, all four keys at a time, so an edit takes effect on the next
// request; never written.
#include <windows.h>

#include <string>

#include "interface/settings_text.h"

namespace qibor {

// The module whose path names the settings file; set by the module entry
// point. Null (as in test programs) means the process's own executable.
void SetSettingsModule(HMODULE module);
HMODULE SettingsModule();

// The module's own path with its extension replaced by ".ini".
std::wstring SettingsPath();

// One read of the section; defaults where the file or a key is missing.
Settings ReadSettings();

// `dir` joined with "tar.exe"; empty when `dir` is relative or the result
// does not fit a path. Without a `dir` of its own, a 32-bit host on 64-bit
// Windows runs the 32-bit tool where Windows has one (its System32 is the
// 32-bit SysWOW64) and the 64-bit one otherwise, through Sysnative.
std::wstring ToolExePath(const Settings& settings);

}  // namespace qibor
