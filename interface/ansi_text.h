#pragma once
// Conversions between the calling thread's ANSI code page and UTF-16 for the
// ANSI exports.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "interface/records.h"

namespace qibor {

// The text in UTF-16; no value when it is not terminated within 32 KiB or
// its UTF-16 form does not fit `maxUnits` units with the terminator.
std::optional<std::wstring> ToWide(LPCSTR text, std::size_t maxUnits);

// The longest start of text whose ANSI form, with its terminator, fits
// `capacity` bytes, never splitting a character. Returns the bytes (without
// the terminator) and the number of UTF-16 units they came from.
struct AnsiPiece {
  std::string bytes;
  std::size_t units = 0;
};
AnsiPiece ToAnsiFitting(std::wstring_view text, std::size_t capacity);

// The ANSI record for a wide one; every byte not set here is zero.
void ToAnsiRecord(const ArchiveEntryW& wide, ArchiveEntryA& ansi);

}  // namespace qibor
