#include "requests/check_support.h"

#include <windows.h>

#include <cstdint>

#include "probe/probe.h"
#include "requests/request.h"

namespace qibor {
namespace {

// A value is a file handle only when nothing above bit 15 is set; anything
// else is the host's pointer to the file's first bytes.
bool IsHandleValue(const void* source) { return (reinterpret_cast<std::uintptr_t>(source) >> 16) == 0; }

}  // namespace

bool CheckSupport(const std::wstring* archivePath, void* source) {
  // Hosts expect a handle's first bytes to be read, and its position moved.
  if (IsHandleValue(source)) {
    unsigned char header[8] = {};
    DWORD read = 0;
    if (!ReadFile(static_cast<HANDLE>(source), header, sizeof(header), &read, nullptr)) return false;
  }
  if (archivePath == nullptr || archivePath->empty()) return false;
  Request request;
  if (!request.ready()) return false;
  return ProbeArchive(request.scope.folder(), *archivePath, request.settings);
}

}  // namespace qibor
