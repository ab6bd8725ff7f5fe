#pragma once
// A current-user registry of one test's own, reached through platform::OpenCurrentUserRegistry as
// the loader reaches it. POSIX: the .reg file store in `config_folder` (XDG_CONFIG_HOME for the
// scope). Windows: the real registry, with this process's HKEY_CURRENT_USER redirected to a fresh
// key that is deleted at the end, so test processes running side by side never meet.
#include <string>

#include "common/scoped_env.h"

namespace nurv::testing {

class ScopedTestRegistry {
 public:
  explicit ScopedTestRegistry(const std::string& config_folder);
  ~ScopedTestRegistry();
  ScopedTestRegistry(const ScopedTestRegistry&) = delete;
  ScopedTestRegistry& operator=(const ScopedTestRegistry&) = delete;

  // Forgets every key and value stored so far.
  void Clear();
  // From now on the registry is empty and refuses every write.
  void MakeUnwritable();

 private:
#ifdef _WIN32
  // Keys are HKEYs, kept untyped to keep <windows.h> out of the tests.
  void Redirect(void* key);
  std::wstring key_path_;
  void* key_ = nullptr;
  void* deleted_key_ = nullptr;
#else
  std::string config_folder_;
  ScopedEnv env_;
#endif
};

}  // namespace nurv::testing
