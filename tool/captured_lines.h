#pragma once
// Splits the tool's captured output into whole lines, however long. Pure, no
// Windows header.
#include <string_view>

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

}  // namespace qibor
