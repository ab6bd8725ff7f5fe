#include "platform/secret_file.h"

// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace nurv::platform {

using win32::Narrow;
using win32::UniqueKernelHandle;
using win32::UniqueLocalMemory;
using win32::Widen;

namespace {

// The rights that let one read the secret or put another in its place.
constexpr ACCESS_MASK kOpeningRights = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA |
                                       GENERIC_READ | GENERIC_WRITE | GENERIC_ALL | WRITE_DAC |
                                       WRITE_OWNER;

// The user the process runs as (its token's user); empty when the token cannot be read.
std::vector<unsigned char> CurrentUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const UniqueKernelHandle owned_token(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
  return user;
}

PSID SidOf(std::vector<unsigned char>& token_user) {
  return reinterpret_cast<TOKEN_USER*>(token_user.data())->User.Sid;
}

std::string SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "?";
  const UniqueLocalMemory owned_text(text);
  return Narrow(text);
}

// Those a secret file may be open to besides nobody: its owner, the current user (the owner of a
// file an administrator made may be the administrators' group), the system, the administrators
// and the "owner rights" entry that stands for the owner.
bool MayOpenSecret(PSID sid, PSID owner, PSID user) {
  return (owner != nullptr && EqualSid(sid, owner)) || (user != nullptr && EqualSid(sid, user)) ||
         IsWellKnownSid(sid, WinLocalSystemSid) ||
         IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         IsWellKnownSid(sid, WinCreatorOwnerRightsSid);
}

// The first one else that the access list `dacl` lets open the file, as its security identifier's
// text; "S-1-1-0" (everyone) for a file without an access list.
std::optional<std::string> OtherWithAccess(PACL dacl, PSID owner) {
  if (dacl == nullptr) return "S-1-1-0";
  std::vector<unsigned char> user = CurrentUser();
  PSID user_sid = user.empty() ? nullptr : SidOf(user);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0)
      continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    PSID sid = &allowed->SidStart;
    if ((allowed->Mask & kOpeningRights) != 0 && !MayOpenSecret(sid, owner, user_sid))
      return SidText(sid);
  }
  return std::nullopt;
}

}  // namespace

bool WriteNewOwnerOnlyFile(const std::string& path, std::string_view bytes) {
  std::vector<unsigned char> user = CurrentUser();
  if (user.empty()) return false;
  // Protected from what the folder would pass on, one entry: every right for this user alone.
  const std::wstring sddl = L"D:P(A;;FA;;;" + Widen(SidText(SidOf(user))) + L")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return false;
  const UniqueLocalMemory owned_descriptor(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const std::wstring wide_path = Widen(path);
  // CREATE_NEW: never over a file or a link already there.
  UniqueKernelHandle file(CreateFileW(wide_path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bool written = true;
  while (written && !bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD done = 0;
    written = WriteFile(file.Get(), bytes.data(), chunk, &done, nullptr) && done > 0;
    bytes.remove_prefix(done);
  }
  written = written && FlushFileBuffers(file.Get());
  const DWORD error = GetLastError();
  const bool closed = CloseHandle(file.Release());
  if (written && closed) return true;
  const DWORD reason = written ? GetLastError() : error;
  DeleteFileW(wide_path.c_str());
  SetLastError(reason);
  return false;
}

OwnerOnlyRead ReadOwnerOnlyFile(const std::string& path, std::span<char> buffer) {
  OwnerOnlyRead result;
  const UniqueKernelHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ | READ_CONTROL,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    result.detail = LastErrorText();
    return result;
  }
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = GetSecurityInfo(file.Get(), SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       &owner, nullptr, &dacl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    result.detail = win32::ErrorText(status);
    return result;
  }
  const UniqueLocalMemory owned_descriptor(descriptor);
  if (const auto other = OtherWithAccess(dacl, owner)) {
    result.outcome = OwnerOnlyRead::Outcome::OpenToOthers;
    result.detail = *other;
    return result;
  }
  result.outcome = OwnerOnlyRead::Outcome::Read;
  while (result.size < buffer.size()) {
    DWORD got = 0;
    const DWORD wanted =
        static_cast<DWORD>(std::min<std::size_t>(buffer.size() - result.size, 1u << 20));
    if (!ReadFile(file.Get(), buffer.data() + result.size, wanted, &got, nullptr)) {
      result.outcome = OwnerOnlyRead::Outcome::Unreadable;
      result.detail = LastErrorText();
      break;
    }
    if (got == 0) break;
    result.size += got;
  }
  return result;
}

}  // namespace nurv::platform
