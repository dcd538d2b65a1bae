#pragma once
// The files the tool's runs write their output to, in the folder of the
// request being served: one for each kind of run, each made to go as its
// last handle closes, so none is left behind on any path, even when the
// host's process dies.
#include <windows.h>

#include <string>

#include "floor/unique_any.h"

namespace qibor {

enum class Capture : int {
  Probe,       // the probe's verbose listing, errors too
  Plain,       // a listing's plain run
  Verbose,     // a listing's verbose run
  Errors,      // that run's error stream
  Selection,   // what a member argument selects
  Extraction,  // an extraction's messages ("x NAME" lines)
  Entries,     // the bytes of the entries an extraction writes
};

// A fresh, empty capture of that kind in the folder, inheritable for a run's
// standard handles and read back through the same handle; null when it
// cannot be made.
UniqueHandle MakeCapture(const std::wstring& folder, Capture capture);

// The code page the tool writes its output in: UTF-8 under Windows'
// system-wide UTF-8 setting, else the user's default ANSI code page.
UINT ToolOutputCodePage();

}  // namespace qibor
