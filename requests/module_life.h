#pragma once
// What qibor does when its module is loaded and unloaded. Both run under
// the loader lock, so neither waits on anything.
#include <windows.h>

namespace qibor {

// Notes the module (its path names the settings file) and makes the work
// folder when it is missing.
void OnModuleLoad(HMODULE module);

// Lets the cached lists go and removes the work folder if it is empty. When
// the process is ending, other threads are gone, possibly holding locks:
// nothing is freed and the folder is left as it is.
void OnModuleUnload(bool processEnding);

}  // namespace qibor
