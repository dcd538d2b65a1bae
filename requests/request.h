#pragma once
// What every request that runs the tool holds from its start to its answer:
// the settings, read once before the lock is taken, then the request lock
// and a fresh folder of its own (removed whole when the request ends).
#include <string>

#include "interface/settings.h"
#include "tool/run_tool.h"
#include "tool/work_folder.h"

namespace qibor {

struct Request {
  const Settings settings = ReadSettings();
  RequestScope scope;
  // False when no request folder could be made: nothing can be run or read.
  bool ready() const { return !scope.folder().empty(); }
  // The request's runs on the archive open at `archive`.
  ArchiveRuns RunsOn(HANDLE archive) const { return ArchiveRuns{scope.folder(), ToolExePath(settings), archive}; }
};

}  // namespace qibor
