#include "extract/written_files.h"

#include <windows.h>

#include "interface/win_path.h"

namespace qibor {
namespace {

bool SameName(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// What may be in the folder: the file (when `file` is empty, any one file,
// whose path is then kept), the folders on its way, the named files at the top.
struct Expected {
  std::wstring file;
  std::initializer_list<std::wstring_view> alsoAtTop;
  bool fileFound = false;
};

bool IsFolderOnTheWay(std::wstring_view entry, std::wstring_view file) {
  if (file.empty()) return true;
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
    } else {
      bool atTop = false;
      for (const std::wstring_view allowed : expected.alsoAtTop) atTop = atTop || (relative.empty() && SameName(name, allowed));
      if (atTop) continue;
      if (expected.fileFound) {
        clean = false;
      } else if (expected.file.empty() || SameName(child, expected.file)) {
        expected.file = child;
        expected.fileFound = true;
      } else {
        clean = false;
      }
    }
  } while (clean && FindNextFileW(search, &found));
  FindClose(search);
  return clean;
}

}  // namespace

bool OnlyFileWritten(const std::wstring& folder, const std::wstring& relative,
                     std::initializer_list<std::wstring_view> alsoAtTop) {
  if (relative.empty()) return false;
  Expected expected{relative, alsoAtTop};
  return OnlyExpectedBelow(folder, L"", expected) && expected.fileFound;
}

std::optional<std::wstring> TheOnlyFileWritten(const std::wstring& folder,
                                               std::initializer_list<std::wstring_view> alsoAtTop) {
  Expected expected{std::wstring(), alsoAtTop};
  // Folders off the file's way show as a second entry only once the file is
  // known: a folder with nothing in it is no file, and is checked as one.
  if (!OnlyExpectedBelow(folder, L"", expected) || !expected.fileFound) return std::nullopt;
  Expected again{expected.file, alsoAtTop};
  if (!OnlyExpectedBelow(folder, L"", again) || !again.fileFound) return std::nullopt;
  return expected.file;
}

bool PrintsAs(std::wstring_view written, std::wstring_view printedPath, unsigned codePage) {
  // The printed path as the written one spells it: no leading "./", "\"
  // between levels (the listing's doubled backslash is one).
  std::wstring printed;
  while (printedPath.size() >= 2 && printedPath[0] == L'.' && printedPath[1] == L'/') printedPath.remove_prefix(2);
  for (std::size_t i = 0; i < printedPath.size(); ++i) {
    const wchar_t c = printedPath[i];
    if (c == L'\\' && i + 1 < printedPath.size() && printedPath[i + 1] == L'\\') ++i;
    printed.push_back(c == L'/' ? L'\\' : c);
  }
  if (printed.size() != written.size()) return false;
  for (std::size_t i = 0; i < written.size(); ++i) {
    const wchar_t real = written[i];
    const wchar_t shown = printed[i];
    if (real == L'_' && (shown == L'_' || shown == L':' || shown == L'*' || shown == L'?' || shown == L'"' ||
                         shown == L'<' || shown == L'>' || shown == L'|')) {
      continue;
    }
    if (real == L'\\' || shown == L'\\') {
      if (real != shown) return false;
      continue;
    }
    // One unit at a time, as the tool prints one "?" for each unit of a
    // character outside the code page.
    wchar_t converted = codePage == CP_UTF8 ? real : L'?';
    if (codePage != CP_UTF8 && (real < 0xD800 || real > 0xDFFF)) {
      char bytes[8] = {};
      const int length = WideCharToMultiByte(codePage, 0, &real, 1, bytes, sizeof(bytes), nullptr, nullptr);
      wchar_t back[2] = {};
      if (length <= 0 || MultiByteToWideChar(codePage, 0, bytes, length, back, 2) != 1) return false;
      converted = back[0];
    }
    if (converted != shown) return false;
  }
  return true;
}

std::wstring_view LastComponent(std::wstring_view path, wchar_t separator) {
  const std::size_t at = path.rfind(separator);
  return at == std::wstring_view::npos ? path : path.substr(at + 1);
}

}  // namespace qibor
