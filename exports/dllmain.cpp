// The module's load and unload.
#include <windows.h>

#include "requests/module_life.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      qibor::OnModuleLoad(module);
      DisableThreadLibraryCalls(module);
      break;
    case DLL_PROCESS_DETACH:
      // A non-null `reserved` means the process is ending.
      qibor::OnModuleUnload(reserved != nullptr);
      break;
    default:
      break;
  }
  return TRUE;
}
