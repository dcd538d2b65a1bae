#include "extract/written_files.h"

#include <windows.h>

#include "interface/win_path.h"

namespace qibor {
namespace {

bool SameName(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

struct Expected {
  std::wstring_view file;
  std::initializer_list<std::wstring_view> alsoAtTop;
  bool fileFound = false;
};

bool IsFolderOnTheWay(std::wstring_view entry, std::wstring_view file) {
  return file.size() > entry.size() && file[entry.size()] == L'\\' && SameName(file.substr(0, entry.size()), entry);
}

bool OnlyExpectedBelow(const std::wstring& root, const std::wstring& relative, Expected& expected) {
  WIN32_FIND_DATAW found{};
  const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  HANDLE search = FindFirstFileExW(LongPathForm(folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool clean = true;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = relative.empty() ? name : relative + L"\\" + name;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isLink) {
      clean = false;
    } else if (isFolder) {
      clean = clean && IsFolderOnTheWay(child, expected.file) && OnlyExpectedBelow(root, child, expected);
    } else if (SameName(child, expected.file)) {
      expected.fileFound = true;
    } else {
      bool atTop = false;
      for (const std::wstring_view allowed : expected.alsoAtTop) atTop = atTop || (relative.empty() && SameName(name, allowed));
      clean = clean && atTop;
    }
  } while (clean && FindNextFileW(search, &found));
  FindClose(search);
  return clean;
}

}  // namespace

bool OnlyFileWritten(const std::wstring& folder, const std::wstring& relative,
                     std::initializer_list<std::wstring_view> alsoAtTop) {
  Expected expected{relative, alsoAtTop};
  return OnlyExpectedBelow(folder, L"", expected) && expected.fileFound;
}

std::wstring_view LastComponent(std::wstring_view path, wchar_t separator) {
  const std::size_t at = path.rfind(separator);
  return at == std::wstring_view::npos ? path : path.substr(at + 1);
}

}  // namespace qibor
