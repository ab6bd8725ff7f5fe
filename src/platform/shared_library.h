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

// Loads by full path or, for a bare name, through the platform's usual search; nullptr on failure.
std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& name_or_path);

}  // namespace nurv::platform
