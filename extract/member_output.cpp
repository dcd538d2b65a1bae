#include "extract/member_output.h"

#include "floor/win_path.h"
#include "interface/record_text.h"

namespace qibor {

ResultCode OpenBlockOutput(std::uint64_t size, MemberOutput& output) {
  if (size > static_cast<std::uint64_t>(SIZE_MAX)) return OutOfMemory;
  output.block.reset(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(size)));
  return output.block ? Success : OutOfMemory;
}

ResultCode OpenFileOutput(const std::wstring& destFolder, const ArchiveEntryW& record, MemberOutput& output) {
  const std::wstring name(record.name, RecordTextLength(record.name));
  std::wstring folder = FullPathOf(destFolder);
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  if (folder.empty() || !IsPlainName(name)) return WriteError;
  // The host's folder joined with the name, only where Windows reads it as
  // exactly that file.
  const std::wstring path = folder + L"\\" + name;
  if (FullPathOf(path) != path) return WriteError;
  output.file.reset(CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output.file.valid()) return WriteError;
  output.filePath = path;
  return Success;
}

EntrySink SinkOf(const MemberOutput& output) {
  return EntrySink{output.block.as<unsigned char>(), output.file.get()};
}

ResultCode FinishFileOutput(MemberOutput& output) {
  // A device that keeps no buffers says so; any other failure loses bytes.
  if (!FlushFileBuffers(output.file.get()) && GetLastError() != ERROR_INVALID_FUNCTION) {
    Discard(output);
    return WriteError;
  }
  output.file.reset();
  output.filePath.clear();
  return Success;
}

void Discard(MemberOutput& output) {
  output.block.reset();
  if (!output.file.valid()) return;
  output.file.reset();
  DeleteFileW(LongPathForm(output.filePath).c_str());
  output.filePath.clear();
}

}  // namespace qibor
