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

// A new empty file for writing, replacing one of that name; inheritable for
// a child process's standard handles when asked.
enum class Inheritable { No, Yes };
UniqueHandle CreateFresh(const std::wstring& path, Inheritable inheritable);
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
DWORD ReadFromPipe(HANDLE source, void* into, DWORD room);
// The whole of an open file, read from its start; no value when it cannot be
// read or memory runs out.
std::optional<std::string> ReadFromStart(HANDLE file);
// Opens a file for reading in sequence.
UniqueHandle OpenForReading(const std::wstring& path);
// True when the file is gone.
bool DeleteFileRetrying(const std::wstring& path);
// Deletes a file or an empty folder, read-only or not. True when it is gone.
bool DeleteEntryRetrying(const std::wstring& path, bool folder);

}  // namespace qibor
