#include "interface/settings.h"

#include <shlwapi.h>

#include <vector>

#include "interface/win_path.h"

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

std::wstring ReadSettingString(const wchar_t* key, const wchar_t* defaultValue) {
  const std::wstring path = SettingsPath();
  std::vector<wchar_t> buffer(260);
  for (;;) {
    const DWORD length = GetPrivateProfileStringW(kSection, key, defaultValue, buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), path.c_str());
    // A result of size - 1 means the value may have been cut: read it again
    // into a larger buffer.
    if (length + 1 < buffer.size() || buffer.size() >= 32768) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 4);
  }
}

int ReadSettingInt(const wchar_t* key, int defaultValue) {
  const std::wstring path = SettingsPath();
  return static_cast<int>(GetPrivateProfileIntW(kSection, key, defaultValue, path.c_str()));
}

std::wstring ReadToolDir() { return ReadSettingString(L"dir", kDefaultToolDir); }
int ReadMaxMB() { return ReadSettingInt(L"maxMB", kDefaultMaxMB); }
std::wstring ReadExtPatterns() { return ReadSettingString(L"ext", kDefaultExt); }
std::wstring ReadTarExtensions() { return ReadSettingString(L"tar", kDefaultTarExtensions); }

std::wstring ToolPath() {
  const std::wstring folder = ReadToolDir();
  // A relative folder names whatever tar.exe sits in the host's current
  // folder, often one the user just opened: no tool rather than that one.
  if (PathIsRelativeW(folder.c_str())) return {};
  return CombinePath(folder, L"tar.exe");
}

}  // namespace qibor
