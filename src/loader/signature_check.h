#pragma once
// The loader's check of signed rows (with keys in nurv.ini's [Security]): a refused row logs which
// check failed, and the caller counts it as failed before its file is put in place.
#include <string>
#include <string_view>

#include "base/update_signature.h"
#include "db/database.h"
#include "loader/update_context.h"

namespace nurv {

// The current row of `row` (of module `code`: the catalogue row that decided) whose stored bytes,
// read by its `vcode`, have the digest `stored`: true when a trusted key signed its fields and
// those bytes; `landed` is then the digest the signature vouches for. False with the refusal
// logged, naming `shown_path`. True at once when no key is trusted.
bool StoredBytesSigned(UpdateContext& ctx, std::string_view code, const db::Dataset& row,
                       const Sha256Digest& stored, const std::string& shown_path,
                       Sha256Digest& landed);

// True when the bytes that land have the `landed` digest (`actual`), or when no key is trusted;
// otherwise false with the mismatch logged, naming `shown_path`.
bool LandedBytesSigned(UpdateContext& ctx, const Sha256Digest& actual, const Sha256Digest& landed,
                       const std::string& shown_path);

// A plain row's bytes land as they are stored: both checks on the one digest.
bool PlainBytesSigned(UpdateContext& ctx, std::string_view code, const db::Dataset& row,
                      const Sha256Digest& digest, const std::string& shown_path);

// True, without a line, when a trusted key signed the current row of `row` (of module `code`)
// with `stored` as its stored bytes and `actual` as the bytes that land, or when no key is trusted.
bool BytesSignedQuietly(UpdateContext& ctx, std::string_view code, const db::Dataset& row,
                        const Sha256Digest& stored, const Sha256Digest& actual);

// True when `file`, already in place as the current row of `row` (of module `code`) would land
// it, carries a trusted key's signature for exactly its bytes, or when no key is trusted.
bool InstalledCopySigned(UpdateContext& ctx, std::string_view code, const db::Dataset& row,
                         const std::string& file);

}  // namespace nurv
