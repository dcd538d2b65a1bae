#pragma once
// The files the tool's runs write their output to, one for each kind of
// run, in the folder of the request being served, and reading them back.
#include <windows.h>

#include <string>
#include <string_view>

#include "floor/unique_any.h"
#include "tool/captured_lines.h"

namespace qibor {

// Each is empty outside a request.
std::wstring ProbeOutputFile();        // the probe's verbose listing, errors too
std::wstring PlainListingFile();       // a listing's plain run
std::wstring VerboseListingFile();     // a listing's verbose run
std::wstring VerboseErrorsFile();      // that run's error stream
std::wstring SelectionListingFile();   // what a member argument selects
std::wstring ExtractionOutputFile();   // an extraction's messages ("x NAME" lines)


// A capture file read line by line.
struct CaptureStream {
  UniqueHandle file;
  LineReader lines;
  bool failed = false;  // a read failed: the lines stopped short
  // The run still writing the file, if any: reading waits for more output
  // until the run has ended, so its last line is never taken for the end.
  HANDLE writer = nullptr;
};

// Opens a capture file for reading; false when it cannot be opened.
bool OpenCapture(const std::wstring& path, CaptureStream& stream);
// The next whole line, valid until the stream is used again; false at the
// end, or on a failed read, which also sets `failed`.
bool ReadLine(CaptureStream& stream, CapturedLine& line);
// Back to the first line; false when the file cannot be rewound.
bool RewindCapture(CaptureStream& stream);

// The code page the tool writes its output in: UTF-8 under Windows'
// system-wide UTF-8 setting, else the user's default ANSI code page.
UINT ToolOutputCodePage();

}  // namespace qibor
