#include "probe/probe_lines.h"

#include "floor/ascii.h"
#include "tool/captured_lines.h"

namespace qibor {
namespace {

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// "NAME:" at the line's start, NAME holding no space; where its colon is.
std::size_t ToolNameColon(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::string_view::npos;
  return line.substr(0, colon).find(' ') == std::string_view::npos ? colon : std::string_view::npos;
}

}  // namespace

std::string_view VerboseLineName(std::string_view line) {
  constexpr int kFieldsBeforeName = 8;
  std::size_t i = 0;
  for (int field = 0; field < kFieldsBeforeName; ++field) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i == line.size()) return line;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i == line.size()) return line;
  }
  return line.substr(i + 1);  // line[i] is the single space before the name
}

bool IsToolMessageLine(std::string_view line) {
  const std::size_t colon = ToolNameColon(line);
  return colon != std::string_view::npos && colon + 1 < line.size() && line[colon + 1] == ' ';
}

bool IsOpenErrorLine(std::string_view line) {
  constexpr std::string_view kOpenError = ": Error opening archive: ";
  const std::size_t colon = ToolNameColon(line);
  if (colon == std::string_view::npos) return false;
  const std::string_view rest = line.substr(colon);
  return rest.size() >= kOpenError.size() && SameIgnoringAsciiCase(rest.substr(0, kOpenError.size()), kOpenError);
}

void AddProbeLine(std::string_view line, bool checkNames, ProbeLines& lines) {
  if (lines.refused) return;
  if (IsOpenErrorLine(line)) {
    lines.refused = true;
  } else if (IsToolMessageLine(line)) {
    lines.toolMessage = true;
  } else {
    ++lines.entries;
    if (checkNames && !IsAscii(VerboseLineName(line))) lines.refused = true;
  }
}

void AddProbeLines(std::string_view output, bool checkNames, ProbeLines& lines) {
  CapturedLine line;
  while (!lines.refused && TakeCapturedLine(output, line)) AddProbeLine(line.text, checkNames, lines);
}

}  // namespace qibor
