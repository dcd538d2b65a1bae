#pragma once
// IsSupported: whether qibor takes the file as an archive, in one tool run.
#include <string>

namespace qibor {

// `source` is the host's open file handle (a value below 0x10000) or its
// pointer to the file's first bytes; a handle's first bytes are read, as
// hosts expect. A null or empty path is no archive.
bool CheckSupport(const std::wstring* archivePath, void* source);

}  // namespace qibor
