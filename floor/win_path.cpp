#include "floor/win_path.h"

#include <shlwapi.h>

#include <vector>

namespace qibor {

std::wstring CombinePath(std::wstring_view folder, std::wstring_view name) {
  if (folder.size() >= MAX_PATH || name.size() >= MAX_PATH) return {};
  const std::wstring folderText(folder);
  const std::wstring nameText(name);
  wchar_t combined[MAX_PATH] = {};
  if (PathCombineW(combined, folderText.c_str(), nameText.c_str()) == nullptr) return {};
  return combined;
}

std::wstring ModuleFilePath(HMODULE module) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring LongPathForm(const std::wstring& path) {
  if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) return path;
  if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

std::wstring FullPathOf(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
  return {};
}

}  // namespace qibor
