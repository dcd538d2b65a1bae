#pragma once
// Splits the tool's captured output into whole lines, however long, either
// from output held in memory or from output read in pieces. Pure, no Windows
// header.
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "floor/byte_search.h"

namespace qibor {

struct CapturedLine {
  std::string_view text;  // the line's bytes without its line end
  bool endedWithLineFeed = false;
};

// Lines end at LF; a CR directly before the LF belongs to the line end (the
// tool writes CR LF). A last line without LF is kept; nothing follows the
// last LF when the output ends there.
//
// Takes the next line off the front of `rest`; false when nothing is left.
bool TakeCapturedLine(std::string_view& rest, CapturedLine& line);
// The same with the position of the line's LF already known (kNoByte for
// none).
void TakeCapturedLineEndingAt(std::string_view& rest, std::size_t feed, CapturedLine& line);
std::vector<CapturedLine> SplitCapturedLines(std::string_view output);

// Output read in pieces: the buffer holds at most one piece and one line, so
// a capture of any length costs the memory of its longest line.
inline constexpr std::size_t kLineReaderPiece = 64 * 1024;

struct LineReader {
  std::string bytes;        // the buffer; bytes from `start` to `filled` are unread
  std::size_t start = 0;    // first byte not yet taken
  std::size_t filled = 0;   // end of the bytes read so far
  std::size_t scanned = 0;  // bytes from `start` known to hold no LF
  bool atEnd = false;
  std::size_t piece = kLineReaderPiece;  // bytes asked for at a time
};

// The next line, valid until the reader is used again; false when nothing is
// left. `readMore(into, room)` fills up to `room` bytes and returns how many
// it filled; 0 ends the output.
template <typename ReadMore>
bool ReadCapturedLine(LineReader& reader, CapturedLine& line, ReadMore&& readMore) {
  for (;;) {
    const std::string_view unread(reader.bytes.data() + reader.start, reader.filled - reader.start);
    const std::size_t feed = FindByte(unread, '\n', reader.scanned);
    if (feed != kNoByte || reader.atEnd) {
      if (feed == kNoByte && unread.empty()) return false;
      std::string_view rest = unread;
      TakeCapturedLineEndingAt(rest, feed, line);
      reader.start += unread.size() - rest.size();
      reader.scanned = 0;
      return true;
    }
    // Keep the unfinished line at the front and read the next piece after it.
    reader.scanned = unread.size();
    if (reader.start > 0) {
      std::copy(unread.begin(), unread.end(), reader.bytes.begin());  // to lower addresses: safe
      reader.filled = unread.size();
      reader.start = 0;
    }
    if (reader.bytes.size() < reader.filled + reader.piece) reader.bytes.resize(reader.filled + reader.piece);
    const std::size_t filled = readMore(reader.bytes.data() + reader.filled, reader.bytes.size() - reader.filled);
    reader.filled += filled;
    if (filled == 0) reader.atEnd = true;
  }
}

}  // namespace qibor
