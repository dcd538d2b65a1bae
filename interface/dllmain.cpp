// The module's load and unload: the work folder is made at load and removed
// at unload when nothing is left in it.
#include <windows.h>

#include "interface/settings.h"
#include "interface/win_path.h"
#include "listing/listing_cache.h"
#include "listing/work_folder.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      qibor::SetSettingsModule(module);
      qibor::EnsureWorkDirectory();
      DisableThreadLibraryCalls(module);
      break;
    case DLL_PROCESS_DETACH:
      // When the process is ending, other threads are gone, possibly holding
      // locks: take none and leave the folder as it is.
      if (reserved != nullptr) {
        qibor::TheListingCache().Abandon();
        break;
      }
      {
        // No wait under the loader lock: removing a folder succeeds only
        // when it is empty, and a request of another process keeps its own
        // folder in it.
        const std::wstring folder = qibor::WorkDirectory();
        if (!folder.empty()) RemoveDirectoryW(folder.c_str());
      }
      qibor::TheListingCache().Clear();
      break;
    default:
      break;
  }
  return TRUE;
}
