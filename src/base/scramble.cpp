#include "base/scramble.h"

#include <stdexcept>

#include "base/cp1251.h"

namespace nurv {

std::string UnscrambleText(const std::string& scrambled, const std::string& key) {
  // Groups of three digits; a length of 3m + 1 leaves one digit unused, 3m + 2 a short last group.
  const std::size_t groups = (scrambled.size() + 1) / 3;
  const std::string key_bytes = Utf8ToCp1251(key);
  if (groups > 0 && key_bytes.empty()) throw std::invalid_argument("empty unscrambling key");

  std::string result;
  result.reserve(groups);
  std::size_t k = 0;
  for (std::size_t g = 0; g < groups; ++g) {
    const std::string group = scrambled.substr(3 * g, 3);
    unsigned n = 0;
    for (const char c : group) {
      if (c < '0' || c > '9') {
        throw std::invalid_argument("'" + group + "' is not a valid integer value");
      }
      n = n * 10 + static_cast<unsigned>(c - '0');
    }
    const unsigned m = static_cast<unsigned char>(key_bytes[k]);
    k = (k + 1) % key_bytes.size();
    result.push_back(static_cast<char>(static_cast<unsigned char>((n - m) & 0xFFu)));
  }
  return Cp1251ToUtf8(result);
}

}  // namespace nurv
