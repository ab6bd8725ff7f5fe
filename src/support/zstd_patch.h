#pragma once
// Binary patches between two versions of a file in zstd's patch-from form: the new file compressed
// with the old one as its reference, so only what changed is stored. The one place that calls
// libzstd.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct ZSTD_DCtx_s;

namespace nurv {

// The largest base and target a patch is made for or applied to. The decoder holds the base in
// memory and a window of at most the target's size, so applying a patch costs at most twice this.
inline constexpr std::uint64_t kMaxPatchedFileSize = 64ull << 20;

// A patch that cannot be made or applied (damaged, made from another base, over the bounds).
class PatchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole file, or nullopt when it is larger than `limit` bytes; std::runtime_error with the
// platform's text when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFileUpTo(const std::string& path, std::uint64_t limit);

// The patch that turns `base` into `target`, both within kMaxPatchedFileSize.
std::vector<std::uint8_t> MakePatch(const std::vector<std::uint8_t>& base,
                                    const std::vector<std::uint8_t>& target);

// The size of `bytes` compressed on their own (a fast level): what a patch must clearly beat for
// its base to count.
std::size_t CompressedSize(const std::vector<std::uint8_t>& bytes);

// Applies a patch that arrives in pieces to `base` (which must outlive the decoder), handing the
// result to `sink` as it is decoded.
class PatchDecoder {
 public:
  using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;
  PatchDecoder(const std::vector<std::uint8_t>& base, Sink sink);
  ~PatchDecoder();
  PatchDecoder(const PatchDecoder&) = delete;
  PatchDecoder& operator=(const PatchDecoder&) = delete;

  void Feed(const std::uint8_t* data, std::size_t size);
  // PatchError unless the patch ended exactly with its frame.
  void Finish() const;

 private:
  ZSTD_DCtx_s* dctx_;
  Sink sink_;
  std::vector<std::uint8_t> out_;
  bool frame_done_ = false;
};

}  // namespace nurv
