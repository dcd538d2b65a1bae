#include "extract/written_files.h"

#include <windows.h>

#include "floor/code_page_text.h"
#include "floor/folder_tree.h"

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
  std::span<const std::wstring_view> alsoAtTop;
  bool fileFound = false;
};

bool IsFolderOnTheWay(std::wstring_view entry, std::wstring_view file) {
  if (file.empty()) return true;
  return file.size() > entry.size() && file[entry.size()] == L'\\' && SameName(file.substr(0, entry.size()), entry);
}

bool OnlyExpectedBelow(const std::wstring& root, const std::wstring& relative, Expected& expected) {
  const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  return ForEachEntryIn(folder, [&](const FolderEntry& entry) {
    const std::wstring name(entry.name);
    const std::wstring child = relative.empty() ? name : relative + L"\\" + name;
    if (entry.isLink) return false;
    if (entry.isFolder) return IsFolderOnTheWay(child, expected.file) && OnlyExpectedBelow(root, child, expected);
    if (relative.empty()) {
      for (const std::wstring_view allowed : expected.alsoAtTop) {
        if (SameName(name, allowed)) return true;
      }
    }
    if (expected.fileFound || !(expected.file.empty() || SameName(child, expected.file))) return false;
    expected.file = child;
    expected.fileFound = true;
    return true;
  });
}

}  // namespace

bool OnlyFileWritten(const std::wstring& folder, const std::wstring& relative,
                     std::span<const std::wstring_view> alsoAtTop) {
  if (relative.empty()) return false;
  Expected expected{relative, alsoAtTop};
  return OnlyExpectedBelow(folder, L"", expected) && expected.fileFound;
}

std::optional<std::wstring> TheOnlyFileWritten(const std::wstring& folder,
                                               std::span<const std::wstring_view> alsoAtTop) {
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
      const std::wstring back = DecodeText(EncodeText(std::wstring_view(&real, 1), codePage), codePage);
      if (back.size() != 1) return false;
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
