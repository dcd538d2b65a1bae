#include "interface/ansi_text.h"

#include <cstring>
#include <vector>

#include "floor/code_page_text.h"
#include "interface/record_text.h"

namespace qibor {
namespace {

std::wstring_view RecordText(const RecordChar (&field)[kRecordTextUnits]) {
  return std::wstring_view(field, RecordTextLength(field));
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
    piece.bytes = cuts.empty() ? std::string() : EncodeText(path.substr(0, cuts.back()), CP_THREAD_ACP);
  }
  std::memcpy(field, piece.bytes.data(), piece.bytes.size());
}

}  // namespace

std::optional<std::wstring> ToWide(LPCSTR text, std::size_t maxUnits) {
  if (text == nullptr) return std::nullopt;
  const std::size_t length = strnlen(text, 32768);
  if (length >= 32768) return std::nullopt;
  if (length == 0) return std::wstring();
  std::wstring wide = DecodeText(std::string_view(text, length), CP_THREAD_ACP);
  if (wide.empty() || wide.size() + 1 > maxUnits) return std::nullopt;
  return wide;
}

AnsiPiece ToAnsiFitting(std::wstring_view text, std::size_t capacity) {
  if (capacity == 0) return {};
  std::size_t units = text.size();
  std::string bytes = EncodeText(text, CP_THREAD_ACP);
  // Rarely needed: drop one character at a time until the text fits.
  while (bytes.size() + 1 > capacity && units > 0) {
    units = SurrogateSafeLength(text, units - 1);
    bytes = EncodeText(text.substr(0, units), CP_THREAD_ACP);
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
