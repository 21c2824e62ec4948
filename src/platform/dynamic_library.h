#pragma once

#include <string>

namespace velmar {

// A shared library loaded at run time; unloaded when destroyed.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // False when the file is missing or cannot be loaded; LastError() says why.
  bool Load(const std::string& path);
  void Unload();
  bool IsLoaded() const { return handle_ != nullptr; }

  // Null when the library does not export the symbol.
  void* Symbol(const char* name) const;

  const std::string& LastError() const { return lastError_; }

 private:
  void* handle_ = nullptr;
  std::string lastError_;
};

}  // namespace velmar
