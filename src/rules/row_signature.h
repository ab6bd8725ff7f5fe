#pragma once
// The signatures of update rows: the side table UpdatesSign, the keys a workstation trusts, and the
// verdict on one row. The loader checks every row it writes with them; nurv-publish writes and
// verifies them.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/update_signature.h"
#include "db/database.h"

namespace nurv {

// One row of UpdatesSign: the digest of the bytes that land, the signature and its key's id.
struct SignatureRecord {
  Sha256Digest landed{};
  Signature signature{};
  std::string key_id;
};

// The signature row of the update row `vcode`; nullopt when there is none. A row whose texts are
// not hex of the right sizes is read with an empty signature, which no key accepts.
std::optional<SignatureRecord> ReadSignatureRecord(db::Connection& connection, std::int64_t vcode);

// The fields of the current row of `row` (select * from UpdatesBLOB) that the signature covers,
// with `code` as the loader's catalogue names it; the digests are left to the caller.
SignedFields SignedFieldsOfRow(std::string_view code, const db::Dataset& row);

// The public keys that a workstation (nurv.ini, [Security]) or an administrator trusts. A line that
// is no key takes part in nothing, but still counts as configured: then no row is accepted
// unsigned.
class TrustedKeys {
 public:
  TrustedKeys() = default;
  explicit TrustedKeys(const std::vector<std::string>& lines);
  bool configured() const { return configured_; }
  const PublicKey* Find(const std::string& key_id) const;

 private:
  bool configured_ = false;
  std::vector<PublicKey> keys_;
};

enum class SignatureVerdict {
  Good,
  Missing,       // no signature row
  UnknownKey,    // signed by a key not trusted here
  BadSignature,  // the signature does not cover these fields and these stored bytes
};

// Checks `record` (nullopt: none) against `fields` (its `landed` digest taken from the record).
SignatureVerdict CheckSignature(const std::optional<SignatureRecord>& record, SignedFields fields,
                                const TrustedKeys& keys);

}  // namespace nurv
