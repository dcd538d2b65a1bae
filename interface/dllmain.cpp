// The module's load and unload: the work folder is made at load and removed
// at unload when nothing is left in it.
#include <windows.h>

#include "interface/settings.h"
#include "interface/win_path.h"
#include "listing/listing_cache.h"
#include "listing/request_lock.h"
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
        // Another process may be in the middle of a request in the folder.
        qibor::RequestLock lock(5000);
        if (lock.held()) {
          const std::wstring folder = qibor::WorkDirectory();
          if (!folder.empty() && qibor::IsDirectory(folder)) RemoveDirectoryW(folder.c_str());
        }
      }
      qibor::TheListingCache().Clear();
      break;
    default:
      break;
  }
  return TRUE;
}
