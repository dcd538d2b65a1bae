#include "interface/settings.h"

#include <shlwapi.h>

#include <vector>

#include "floor/win_path.h"

namespace qibor {
namespace {
constexpr wchar_t kSection[] = L"UserSetting";
HMODULE g_settingsModule = nullptr;
}  // namespace

void SetSettingsModule(HMODULE module) { g_settingsModule = module; }
HMODULE SettingsModule() { return g_settingsModule; }

std::wstring SettingsPath() {
  std::wstring path = ModuleFilePath(g_settingsModule);
  if (path.empty()) return path;
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t dot = path.find_last_of(L'.');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
  path += L".ini";
  return path;
}

Settings ReadSettings() {
  const std::wstring path = SettingsPath();
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    const DWORD length =
        GetPrivateProfileSectionW(kSection, buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
    // A result of size - 2 means the section may have been cut: read it
    // again into a larger buffer.
    if (length + 2 < buffer.size() || buffer.size() >= (1u << 20)) {
      return ParseSettingsSection(std::wstring_view(buffer.data(), length));
    }
    buffer.resize(buffer.size() * 4);
  }
}

std::wstring ToolExePath(const Settings& settings) {
  // A relative folder names whatever tar.exe sits in the host's current
  // folder, often one the user just opened: no tool rather than that one.
  if (PathIsRelativeW(settings.toolDir.c_str())) return {};
  const std::wstring tool = CombinePath(settings.toolDir, L"tar.exe");
  // A 32-bit host on 64-bit Windows sees SysWOW64 as System32; where no
  // 32-bit tool stands there, it may still start the 64-bit one.
  BOOL wow64 = FALSE;
  if (settings.toolDirSet || !IsWow64Process(GetCurrentProcess(), &wow64) || !wow64 || FileExists(tool)) return tool;
  return CombinePath(kNativeToolDir, L"tar.exe");
}

}  // namespace qibor
