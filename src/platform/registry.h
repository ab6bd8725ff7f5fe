#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace nurv::platform {

enum class RegType : std::uint32_t {
  None = 0,
  Sz = 1,
  ExpandSz = 2,
  Binary = 3,
  Dword = 4,
  MultiSz = 7,
  Qword = 11,
};

// A value as stored. `text` is filled for Sz and ExpandSz (UTF-8), `number` for Dword, `raw`
// holds the stored bytes of every other type.
struct RegValue {
  RegType type = RegType::None;
  std::string text;
  std::uint32_t number = 0;
  std::vector<std::uint8_t> raw;
};

// Raised for a registry operation that fails (a key that cannot be created, a value that cannot
// be written); the message is the platform's text.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An open key of the current user's registry. Value names match without regard to case.
// Closing is the destruction of the object.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // nullopt when the value does not exist.
  virtual std::optional<RegValue> Query(std::string_view name) = 0;
  virtual void SetString(std::string_view name, std::string_view text) = 0;
  virtual void SetDword(std::string_view name, std::uint32_t number) = 0;
  // A missing value is not an error.
  virtual void DeleteValue(std::string_view name) = 0;
};

// HKEY_CURRENT_USER. Key paths are absolute, with "\" separators: "\SOFTWARE\NURVSQL\Users".
class Registry {
 public:
  virtual ~Registry() = default;
  // Open without creating: nullptr when the key does not exist.
  virtual std::unique_ptr<RegistryKey> Open(std::string_view key_path) = 0;
  // Opens the key, creating it and its missing parents; raises RegistryError on failure.
  virtual std::unique_ptr<RegistryKey> Create(std::string_view key_path) = 0;
  // Runs `writes`, whose writes through this registry then count as one. The POSIX store keeps
  // them back and writes its file once at the end, so no other reader sees part of them, and
  // none when `writes` raises; the Windows registry makes each write as it comes.
  virtual void Batch(const std::function<void()>& writes) { writes(); }
};

// The current user's registry of this platform (POSIX: the .reg file store of
// $XDG_CONFIG_HOME/nurv/registry.reg, default ~/.config/nurv/registry.reg).
std::unique_ptr<Registry> OpenCurrentUserRegistry();

}  // namespace nurv::platform
