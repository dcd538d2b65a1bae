#pragma once
// Reading and deleting files that another process (a virus scanner, the
// tool a moment after it exits) may briefly hold: each call retries while
// the file is busy, and gives up on any other failure.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "floor/unique_any.h"

namespace qibor {

// A new file a child process writes and this process reads back through the
// same handle, replacing one of that name; inheritable, and gone once the
// last handle to it closes, even if this process dies.
UniqueHandle CreateScratch(const std::wstring& path);
// A pipe for a child process's standard output: the write end inheritable,
// the read end this process's own. The pipe holds `bufferBytes` before the
// writer waits for a read.
bool CreateOutputPipe(UniqueHandle& readEnd, UniqueHandle& writeEnd, DWORD bufferBytes);
// Reads what the pipe holds, up to `room` bytes, waiting for the writer; 0
// once the pipe has ended (or a read failed).
DWORD ReadFromPipe(HANDLE pipe, void* into, DWORD room);
// Writes all the bytes at the file's position; false when a write fails.
bool WriteWhole(HANDLE file, const void* bytes, std::uint64_t size);
// A second handle on an open file, for reading it with a file position of
// its own, not inheritable.
UniqueHandle ReopenForReading(HANDLE file);
// The whole of an open file, read from its start; no value when it cannot be
// read or memory runs out.
std::optional<std::string> ReadFromStart(HANDLE file);
// Deletes a file or an empty folder, read-only or not. True when it is gone.
bool DeleteEntryRetrying(const std::wstring& path, bool folder);

}  // namespace qibor
