#include "tools/plugin_module.h"

namespace qibor {
namespace {

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

PluginModule::PluginModule(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {
  if (module_ == nullptr) return;
  Bind(module_, "GetPluginInfoW", GetPluginInfoW);
  Bind(module_, "IsSupportedW", IsSupportedW);
  Bind(module_, "GetArchiveInfoW", GetArchiveInfoW);
  Bind(module_, "GetFileInfoW", GetFileInfoW);
  Bind(module_, "GetFileW", GetFileW);
  Bind(module_, "GetPluginInfo", GetPluginInfo);
  Bind(module_, "IsSupported", IsSupported);
  Bind(module_, "GetArchiveInfo", GetArchiveInfo);
  Bind(module_, "GetFileInfo", GetFileInfo);
  Bind(module_, "GetFile", GetFile);
}

bool PluginModule::loaded() const {
  return module_ != nullptr && GetPluginInfoW && IsSupportedW && GetArchiveInfoW && GetFileInfoW && GetFileW &&
         GetPluginInfo && IsSupported && GetArchiveInfo && GetFileInfo && GetFile;
}

void PluginModule::Unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  static_cast<PluginExports&>(*this) = PluginExports{};
}

}  // namespace qibor
