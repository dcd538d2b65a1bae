#pragma once
// Where a fetched member goes: a block the host receives, or a new file in
// the host's folder, named as the member's record. Either is dropped unless
// the member is delivered whole.
#include <windows.h>

#include <cstdint>
#include <string>

#include "extract/entry_stream.h"
#include "floor/unique_any.h"
#include "interface/records.h"

namespace qibor {

struct MemberOutput {
  UniqueLocal block;
  UniqueHandle file;
  std::wstring filePath;  // removed with Discard: this request made it
};

// A block of the member's size: 0, or 4.
ResultCode OpenBlockOutput(std::uint64_t size, MemberOutput& output);
// A new file in `destFolder` named as the record's name, which must be a
// plain name and stay inside the folder; an existing file is never
// overwritten. 0, or 9.
ResultCode OpenFileOutput(const std::wstring& destFolder, const ArchiveEntryW& record, MemberOutput& output);

EntrySink SinkOf(const MemberOutput& output);

// The file's bytes made durable, and it closed: 0, or 9 with the file gone.
ResultCode FinishFileOutput(MemberOutput& output);
// Frees the block, or closes and removes the file.
void Discard(MemberOutput& output);

}  // namespace qibor
