#include "requests/module_life.h"

#include <string>

#include "extract/read_ahead.h"
#include "interface/settings.h"
#include "listing/listing_cache.h"
#include "tool/work_folder.h"

namespace qibor {

void OnModuleLoad(HMODULE module) {
  SetSettingsModule(module);
  EnsureWorkDirectory();
}

void OnModuleUnload(bool processEnding) {
  TheReadAhead().Abandon(processEnding);
  if (processEnding) {
    TheListingCache().Abandon();
    return;
  }
  // No wait on the request lock: removing a folder succeeds only when it is
  // empty, and a request of another process keeps its own folder in it.
  const std::wstring folder = WorkDirectory();
  if (!folder.empty()) RemoveDirectoryW(folder.c_str());
  TheListingCache().Clear();
}

}  // namespace qibor
