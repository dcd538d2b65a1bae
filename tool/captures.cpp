#include "tool/captures.h"

#include "floor/files.h"

namespace qibor {
namespace {

const wchar_t* FileNameOf(Capture capture) {
  switch (capture) {
    case Capture::Probe:
      return L"qiborp.txt";
    case Capture::Plain:
      return L"qibor.txt";
    case Capture::Verbose:
      return L"qiborv.txt";
    case Capture::Errors:
      return L"qibore.txt";
    case Capture::Selection:
      return L"qibors.txt";
    case Capture::Extraction:
      return L"qiborx.txt";
    case Capture::Entries:
      return L"qiborb.bin";
  }
  return L"qibor.tmp";
}

}  // namespace

UniqueHandle MakeCapture(const std::wstring& folder, Capture capture) {
  if (folder.empty()) return {};
  return CreateScratch(folder + L"\\" + FileNameOf(capture));
}

UINT ToolOutputCodePage() {
  // With Windows' system-wide UTF-8 setting the C runtime, and so the tool,
  // writes UTF-8 whatever the user's locale says.
  if (GetACP() == CP_UTF8) return CP_UTF8;
  UINT codePage = 0;
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                      reinterpret_cast<LPWSTR>(&codePage), sizeof(codePage) / sizeof(wchar_t)) == 0 ||
      codePage == 0) {
    return GetACP();
  }
  return codePage;
}

}  // namespace qibor
