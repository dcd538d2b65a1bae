#include "tool/captures.h"

#include "floor/files.h"

namespace qibor {
namespace {

// In the order of Capture.
constexpr const wchar_t* kFileNames[] = {L"qiborp.txt", L"qibor.txt",  L"qiborv.txt", L"qibore.txt",
                                         L"qibors.txt", L"qiborx.txt", L"qiborb.bin"};

}  // namespace

UniqueHandle MakeCapture(const std::wstring& folder, Capture capture) {
  if (folder.empty()) return {};
  return CreateScratch(folder + L"\\" + kFileNames[static_cast<int>(capture)]);
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
