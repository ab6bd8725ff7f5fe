#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace nurv {

// Standard base64 (RFC 4648, with "=" padding), the text form of keys and signatures.
std::string Base64Encode(std::string_view bytes);
// The bytes of `text`; nullopt for anything that is not canonical padded base64.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace nurv
