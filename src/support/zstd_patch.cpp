#include "support/zstd_patch.h"

#include <zstd.h>

#include <cstdio>
#include <memory>
#include <utility>

#include "platform/files.h"
#include "support/owned_file.h"

namespace nurv {

namespace {

// The settings compared on real executables (docs/performance.md): level 19 with long-distance
// matching gives the smallest patches; higher levels cost far more time for a few bytes.
constexpr int kPatchLevel = 19;
// The window the decoder accepts at most: 2^27 bytes covers base and target of the size bound.
constexpr int kMaxWindowLog = 27;

void Check(std::size_t code, const char* what) {
  if (ZSTD_isError(code)) throw PatchError(std::string(what) + ": " + ZSTD_getErrorName(code));
}

// The smallest window that reaches from the end of the target back to the start of the base.
int WindowLogFor(std::size_t span) {
  int log = ZSTD_cParam_getBounds(ZSTD_c_windowLog).lowerBound;
  while (log < kMaxWindowLog && (std::size_t{1} << log) < span) ++log;
  return log;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadFileUpTo(const std::string& path,
                                                      std::uint64_t limit) {
  const OwnedFile file = OpenOwnedFile(path, FileAccess::Read);
  if (!file) throw std::runtime_error(platform::LastErrorText());
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> buffer(512 * 1024);
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get())) {
    if (bytes.size() + n > limit) return std::nullopt;
    bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
  }
  if (std::ferror(file.get())) throw std::runtime_error(platform::LastErrorText());
  return bytes;
}

std::vector<std::uint8_t> MakePatch(const std::vector<std::uint8_t>& base,
                                    const std::vector<std::uint8_t>& target) {
  if (base.size() > kMaxPatchedFileSize || target.size() > kMaxPatchedFileSize)
    throw PatchError("file too large for a patch");
  const std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> cctx(ZSTD_createCCtx(),
                                                                  &ZSTD_freeCCtx);
  if (!cctx) throw PatchError("no memory for the patch");
  Check(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, kPatchLevel), "level");
  Check(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_enableLongDistanceMatching, 1), "long mode");
  Check(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_windowLog,
                               WindowLogFor(base.size() + target.size())),
        "window");
  // A damaged patch is caught by the frame's own checksum before the result is judged.
  Check(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 1), "checksum");
  Check(ZSTD_CCtx_refPrefix(cctx.get(), base.data(), base.size()), "base");
  std::vector<std::uint8_t> patch(ZSTD_compressBound(target.size()));
  const std::size_t size =
      ZSTD_compress2(cctx.get(), patch.data(), patch.size(), target.data(), target.size());
  Check(size, "patch");
  patch.resize(size);
  return patch;
}

std::size_t CompressedSize(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> compressed(ZSTD_compressBound(bytes.size()));
  const std::size_t size =
      ZSTD_compress(compressed.data(), compressed.size(), bytes.data(), bytes.size(), 3);
  Check(size, "compression");
  return size;
}

PatchDecoder::PatchDecoder(const std::vector<std::uint8_t>& base, Sink sink)
    : dctx_(ZSTD_createDCtx()), sink_(std::move(sink)), out_(ZSTD_DStreamOutSize()) {
  try {
    if (dctx_ == nullptr) throw PatchError("no memory for the patch");
    Check(ZSTD_DCtx_setParameter(dctx_, ZSTD_d_windowLogMax, kMaxWindowLog), "window");
    Check(ZSTD_DCtx_refPrefix(dctx_, base.data(), base.size()), "base");
  } catch (...) {
    ZSTD_freeDCtx(dctx_);
    throw;
  }
}

PatchDecoder::~PatchDecoder() { ZSTD_freeDCtx(dctx_); }

void PatchDecoder::Feed(const std::uint8_t* data, std::size_t size) {
  ZSTD_inBuffer in{data, size, 0};
  for (;;) {
    // One frame only: the base is referenced for the first frame alone.
    if (frame_done_) {
      if (in.pos < in.size) throw PatchError("bytes after the patch");
      return;
    }
    ZSTD_outBuffer out{out_.data(), out_.size(), 0};
    const std::size_t rest = ZSTD_decompressStream(dctx_, &out, &in);
    Check(rest, "patch");
    if (out.pos > 0) sink_(out_.data(), out.pos);
    frame_done_ = rest == 0;
    // A full output buffer may leave decoded bytes inside the decoder.
    if (in.pos == in.size && out.pos < out.size) return;
  }
}

void PatchDecoder::Finish() const {
  if (!frame_done_) throw PatchError("patch ends early");
}

}  // namespace nurv
