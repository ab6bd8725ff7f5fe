#pragma once
#include <memory>
#include <string>

namespace nurv::platform {

// A library loaded at run time; unloaded on destruction.
class SharedLibrary {
 public:
  virtual ~SharedLibrary() = default;
  // nullptr when the library does not export `name`.
  virtual void* Symbol(const char* name) const = 0;
};

// Loads the library at a full path; nullptr on failure, and for a bare or relative name, which the
// system would look for along its search path, where anybody's library may stand first.
std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& full_path);

}  // namespace nurv::platform
