#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace velmar {

DynamicLibrary::~DynamicLibrary() {
  Unload();
}

bool DynamicLibrary::Load(const std::string& path) {
  Unload();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* err = dlerror();
    lastError_ = err != nullptr ? err : "cannot load " + path;
    return false;
  }
  return true;
}

void DynamicLibrary::Unload() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

void* DynamicLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

}  // namespace velmar
