#pragma once
// A current-user registry of one test's own, reached through platform::OpenCurrentUserRegistry as
// the loader reaches it. POSIX: the .reg file store in `config_folder` (XDG_CONFIG_HOME for the
// scope, which started programs inherit). Windows: the real registry; see Reach.
#include <string>

#include "common/scoped_env.h"

namespace nurv::testing {

class ScopedTestRegistry {
 public:
  // Who reads and writes the registry of the scope.
  enum class Reach {
    // The test process alone. Windows: its HKEY_CURRENT_USER is redirected to a fresh key that is
    // deleted at the end, so test processes running side by side never meet.
    kThisProcess,
    // Also the programs the test starts. Windows: a redirection reaches no other process, so the
    // scope takes the user's real key SOFTWARE\NURVSQL for itself: its contents are copied aside
    // and it starts empty; at the end it gets them back. Such scopes must never overlap, in one
    // process or across processes (the tests that use them hold one CTest resource lock).
    kStartedPrograms,
  };

  explicit ScopedTestRegistry(const std::string& config_folder, Reach reach = Reach::kThisProcess);
  ~ScopedTestRegistry();
  ScopedTestRegistry(const ScopedTestRegistry&) = delete;
  ScopedTestRegistry& operator=(const ScopedTestRegistry&) = delete;

  // Forgets every key and value stored so far.
  void Clear();
  // From now on the registry is empty and refuses every write (Reach::kThisProcess only).
  void MakeUnwritable();

 private:
#ifdef _WIN32
  // Keys are HKEYs, kept untyped to keep <windows.h> out of the tests.
  void Redirect(void* key);
  Reach reach_;
  // The redirection's target, or where the real key's contents wait (kStartedPrograms).
  std::wstring key_path_;
  void* key_ = nullptr;
  void* deleted_key_ = nullptr;
  bool real_key_saved_ = false;
#else
  std::string config_folder_;
  ScopedEnv env_;
#endif
};

}  // namespace nurv::testing
