#pragma once
// Files that hold a secret and may be opened by their owner only: the publisher's signing key.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace nurv::platform {

// Creates the file `path`, which must not exist yet (a link of that name counts as existing),
// open to its owner alone from the instant it exists, and writes `bytes` through that one handle.
// False when it cannot; LastErrorText() then says why, and no half-written file stays.
bool WriteNewOwnerOnlyFile(const std::string& path, std::string_view bytes);

struct OwnerOnlyRead {
  enum class Outcome { Read, Unreadable, OpenToOthers };
  Outcome outcome = Outcome::Unreadable;
  std::size_t size = 0;  // Read: the bytes placed in the buffer
  // Unreadable: the platform's message. OpenToOthers: what opens it to them, the file's mode in
  // octal ("0644") on POSIX, the security identifier of the first other one on Windows.
  std::string detail;
};

// Reads the start of the file `path` into `buffer`, unless others than its owner may open it
// (a group or other permission bit; on Windows an entry of its access list that lets anyone but
// the owner, the current user, the system or the administrators read or change it): then nothing
// is read. The check is made on the open file, never on a path that could change meanwhile.
OwnerOnlyRead ReadOwnerOnlyFile(const std::string& path, std::span<char> buffer);

}  // namespace nurv::platform
