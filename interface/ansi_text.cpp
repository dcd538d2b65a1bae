#include "interface/ansi_text.h"

#include <cstring>
#include <vector>

#include "listing/kept_members.h"

namespace qibor {
namespace {

std::string ConvertToAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  const int units = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string converted(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), units, converted.data(), bytes, nullptr, nullptr);
  return converted;
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

std::wstring_view RecordText(const RecordChar (&field)[kRecordTextUnits]) {
  return std::wstring_view(field, wcsnlen(field, kRecordTextUnits));
}

void CopyAnsiField(char (&field)[kRecordTextUnits], std::wstring_view text) {
  const AnsiPiece piece = ToAnsiFitting(text, kRecordTextUnits);
  std::memcpy(field, piece.bytes.data(), piece.bytes.size());
}

// A path whose ANSI form does not fit is cut after a level, like the wide one.
void CopyAnsiPath(char (&field)[kRecordTextUnits], std::wstring_view path) {
  AnsiPiece piece = ToAnsiFitting(path, kRecordTextUnits);
  if (piece.units < path.size()) {
    const std::vector<std::size_t> cuts = RecordPathCuts(path.substr(0, piece.units));
    piece.bytes = cuts.empty() ? std::string() : ConvertToAnsi(path.substr(0, cuts.back()));
  }
  std::memcpy(field, piece.bytes.data(), piece.bytes.size());
}

}  // namespace

std::optional<std::wstring> ToWide(LPCSTR text, std::size_t maxUnits) {
  if (text == nullptr) return std::nullopt;
  const std::size_t length = strnlen(text, 32768);
  if (length >= 32768) return std::nullopt;
  if (length == 0) return std::wstring();
  const int bytes = static_cast<int>(length);
  const int units = MultiByteToWideChar(CP_THREAD_ACP, 0, text, bytes, nullptr, 0);
  if (units <= 0 || static_cast<std::size_t>(units) + 1 > maxUnits) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, text, bytes, wide.data(), units);
  return wide;
}

AnsiPiece ToAnsiFitting(std::wstring_view text, std::size_t capacity) {
  if (capacity == 0) return {};
  std::size_t units = text.size();
  std::string bytes = ConvertToAnsi(text);
  // Rarely needed: drop one character at a time until the text fits.
  while (bytes.size() + 1 > capacity && units > 0) {
    --units;
    if (units > 0 && IsHighSurrogate(text[units - 1])) --units;
    bytes = ConvertToAnsi(text.substr(0, units));
  }
  return {std::move(bytes), units};
}

void ToAnsiRecord(const ArchiveEntryW& wide, ArchiveEntryA& ansi) {
  std::memset(&ansi, 0, sizeof(ansi));
  // The method is bytes in both records, copied up to its first zero byte.
  for (std::size_t i = 0; i < sizeof(ansi.method) && wide.method[i] != 0; ++i) ansi.method[i] = wide.method[i];
  ansi.position = wide.position;
  ansi.compressedSize = wide.compressedSize;
  ansi.size = wide.size;
  ansi.timestamp = wide.timestamp;
  CopyAnsiPath(ansi.path, RecordText(wide.path));
  CopyAnsiField(ansi.name, RecordText(wide.name));
}

}  // namespace qibor
