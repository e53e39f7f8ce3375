#include "platform/shared_library.h"

#include <dlfcn.h>

namespace platform {

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

SharedLibrary SharedLibrary::Load(const std::string& path, std::string* error) {
  SharedLibrary library;
  library.handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library.handle_ == nullptr && error != nullptr) {
    const char* reason = ::dlerror();
    *error = reason != nullptr ? reason : "unknown error";
  }
  return library;
}

void* SharedLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return ::dlsym(handle_, name);
}

void SharedLibrary::Unload() {
  if (handle_ == nullptr) return;
  ::dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace platform
