#include "floor/files.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include "floor/retry.h"
#include "floor/win_path.h"

namespace qibor {
namespace {

// A virus scanner can hold a fresh file for a moment after the tool exits.
constexpr RetryBudget kBusyFile{2000, 10};

template <typename Attempt>
auto RetryWhileBusy(Attempt attempt) {
  return RetryWhilePassing(kBusyFile, IsBusyError, attempt);
}

// Reads exactly `size` bytes from the file's position; false on a failed or
// short read.
bool ReadExactly(HANDLE file, void* bytes, std::uint64_t size) {
  // One call moves less than 4 GiB: read in pieces.
  constexpr std::uint64_t kPieceBytes = 1u << 24;
  auto* at = static_cast<unsigned char*>(bytes);
  for (std::uint64_t done = 0; done < size;) {
    const auto piece = static_cast<DWORD>(std::min(size - done, kPieceBytes));
    DWORD read = 0;
    if (!ReadFile(file, at + done, piece, &read, nullptr) || read == 0) return false;
    done += read;
  }
  return true;
}

}  // namespace

UniqueHandle CreateScratch(const std::wstring& path) {
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  auto result = RetryWhileBusy([&] {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    return std::make_pair(h != INVALID_HANDLE_VALUE, h);
  });
  return UniqueHandle(result.first ? result.second : nullptr);
}

bool CreateOutputPipe(UniqueHandle& readEnd, UniqueHandle& writeEnd, DWORD bufferBytes) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  if (!CreatePipe(&reader, &writer, &inheritable, bufferBytes)) return false;
  readEnd.reset(reader);
  writeEnd.reset(writer);
  return SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0) != FALSE;
}

DWORD ReadFromPipe(HANDLE pipe, void* into, DWORD room) {
  for (;;) {
    DWORD read = 0;
    // A pipe's end shows as a failed read; a write of nothing as a read of nothing.
    if (!ReadFile(pipe, into, room, &read, nullptr)) return 0;
    if (read > 0 || room == 0) return read;
  }
}

bool WriteWhole(HANDLE file, const void* bytes, std::uint64_t size) {
  // One call moves less than 4 GiB: write in pieces.
  constexpr std::uint64_t kPieceBytes = 1u << 24;
  const auto* at = static_cast<const unsigned char*>(bytes);
  for (std::uint64_t done = 0; done < size;) {
    DWORD written = 0;
    const auto piece = static_cast<DWORD>(std::min(size - done, kPieceBytes));
    if (!WriteFile(file, at + done, piece, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

UniqueHandle ReopenForReading(HANDLE file) {
  return UniqueHandle(ReOpenFile(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 FILE_FLAG_SEQUENTIAL_SCAN));
}

std::optional<std::string> ReadFromStart(HANDLE file) {
  LARGE_INTEGER size{};
  const LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !GetFileSizeEx(file, &size) || size.QuadPart < 0) {
    return std::nullopt;
  }
  std::string bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (!ReadExactly(file, bytes.data(), bytes.size())) return std::nullopt;
  return bytes;
}

bool DeleteEntryRetrying(const std::wstring& path, bool folder) {
  const std::wstring target = LongPathForm(path);
  auto remove = [&] { return folder ? RemoveDirectoryW(target.c_str()) != FALSE : DeleteFileW(target.c_str()) != FALSE; };
  const auto result = RetryWhileBusy([&] {
    bool removed = remove();
    // A read-only entry refuses to go until its attribute is cleared; the
    // attribute is touched only then, as most entries go at once.
    if (!removed && GetLastError() == ERROR_ACCESS_DENIED && SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL)) {
      removed = remove();
    }
    const DWORD error = GetLastError();
    return std::make_pair(removed || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND, 0);
  });
  return result.first;
}

}  // namespace qibor
