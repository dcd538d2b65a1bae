#include "tool/captures.h"

#include "floor/files.h"
#include "tool/work_folder.h"

namespace qibor {
namespace {

std::wstring CaptureFile(std::wstring_view name) {
  const std::wstring& folder = CurrentRequestFolder();
  return folder.empty() ? folder : folder + L"\\" + std::wstring(name);
}

}  // namespace

std::wstring ProbeOutputFile() { return CaptureFile(L"qiborp.txt"); }
std::wstring PlainListingFile() { return CaptureFile(L"qibor.txt"); }
std::wstring VerboseListingFile() { return CaptureFile(L"qiborv.txt"); }
std::wstring VerboseErrorsFile() { return CaptureFile(L"qibore.txt"); }
std::wstring SelectionListingFile() { return CaptureFile(L"qibors.txt"); }
std::wstring ExtractionOutputFile() { return CaptureFile(L"qiborx.txt"); }

bool OpenCapture(const std::wstring& path, CaptureStream& stream) {
  stream = CaptureStream{};
  stream.file = OpenForReading(path);
  return stream.file.valid();
}

bool ReadLine(CaptureStream& stream, CapturedLine& line) {
  return ReadCapturedLine(stream.lines, line, [&](char* into, std::size_t room) -> std::size_t {
    for (;;) {
      DWORD read = 0;
      if (stream.failed || !ReadFile(stream.file.get(), into, static_cast<DWORD>(room), &read, nullptr)) {
        stream.failed = true;
        return 0;
      }
      if (read > 0 || stream.writer == nullptr) return read;
      // Nothing more yet: wait a moment for output, or for the run's end,
      // after which one more read takes whatever it wrote last.
      if (WaitForSingleObject(stream.writer, 1) != WAIT_TIMEOUT) stream.writer = nullptr;
    }
  });
}

bool RewindCapture(CaptureStream& stream) {
  LARGE_INTEGER start{};
  if (stream.failed || !SetFilePointerEx(stream.file.get(), start, nullptr, FILE_BEGIN)) return false;
  // The buffer stays, for the next pass to read into.
  stream.lines.start = 0;
  stream.lines.filled = 0;
  stream.lines.scanned = 0;
  stream.lines.atEnd = false;
  return true;
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
