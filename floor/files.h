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
// The whole of an open file, read from its start; no value when it cannot be
// read or memory runs out.
std::optional<std::string> ReadFromStart(HANDLE file);
// Opens a file for reading in sequence.
UniqueHandle OpenForReading(const std::wstring& path);
// Reads exactly `size` bytes from the file's position; false on a failed or
// short read.
bool ReadExactly(HANDLE file, void* bytes, std::uint64_t size);
// A whole file; no value when it cannot be read or memory runs out.
std::optional<std::string> ReadWholeFile(const std::wstring& path);
// A whole file into a new LocalAlloc block of exactly its size: 0, 4 when
// memory ran out, 6 when it cannot be read (the codes of the records); on
// failure the block holds nothing.
int LoadFileIntoBlock(const std::wstring& path, UniqueLocal& block);
// True when the file is gone.
bool DeleteFileRetrying(const std::wstring& path);
// Deletes a file or an empty folder, read-only or not. True when it is gone.
bool DeleteEntryRetrying(const std::wstring& path, bool folder);

}  // namespace qibor
