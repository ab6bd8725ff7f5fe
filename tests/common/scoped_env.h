#pragma once
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

namespace nurv::testing {

// Sets environment variables for one scope and restores them afterwards.
class ScopedEnv {
  static void Put(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
  }
  static void Remove(const std::string& name) {
#ifdef _WIN32
    _putenv_s(name.c_str(), "");  // an empty value removes the variable there
#else
    unsetenv(name.c_str());
#endif
  }

 public:
  ScopedEnv() = default;
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    for (const auto& [name, old] : saved_) {
      if (old.first) {
        Put(name, old.second);
      } else {
        Remove(name);
      }
    }
  }
  void Set(const std::string& name, const std::string& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = {old != nullptr, old ? old : ""};
    }
    Put(name, value);
  }

 private:
  std::map<std::string, std::pair<bool, std::string>> saved_;
};

}  // namespace nurv::testing
