#pragma once
#include <cstdint>
#include <string>

namespace nurv {

// The four 16-bit numbers of a version resource's product or file version.
struct FourPartVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t release = 0;
  std::uint16_t build = 0;
  bool operator==(const FourPartVersion&) const = default;
};

// "6.2.0.15": the four numbers in decimal, without leading zeros, joined by ".".
std::string VersionText(const FourPartVersion& version);

}  // namespace nurv
