// A loaded shared library, owned: unloaded by Unload() or the destructor.
#pragma once

#include <string>

namespace platform {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary() { Unload(); }
  SharedLibrary(SharedLibrary&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Loads the file at exactly this path. On failure the result is empty and
  // *error (when given) holds the system's reason.
  static SharedLibrary Load(const std::string& path, std::string* error = nullptr);

  explicit operator bool() const { return handle_ != nullptr; }
  // Null when the library is not loaded or has no such entry.
  void* Symbol(const char* name) const;
  void Unload();

 private:
  void* handle_ = nullptr;
};

}  // namespace platform
