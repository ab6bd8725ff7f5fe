#include "rules/row_signature.h"

#include "support/signing.h"

namespace nurv {

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> ArrayOfHex(const std::string& text) {
  const auto bytes = BytesOfHex(text);
  return bytes ? ArrayOf<N>(*bytes).value_or(std::array<std::uint8_t, N>{})
               : std::array<std::uint8_t, N>{};
}

std::optional<std::string> NullableText(const db::Dataset& row, const std::string& column) {
  if (IsNull(row.Field(column))) return std::nullopt;
  return row.AsString(column);
}

}  // namespace

std::optional<SignatureRecord> ReadSignatureRecord(db::Connection& connection, std::int64_t vcode) {
  auto rows = connection.OpenDataset(
      "SELECT sha256, signature, keyid FROM UpdatesSign WHERE vcode = " + std::to_string(vcode));
  rows->First();
  if (rows->Eof()) return std::nullopt;
  SignatureRecord record;
  record.landed = ArrayOfHex<32>(rows->AsString("sha256"));
  record.signature = ArrayOfHex<64>(rows->AsString("signature"));
  record.key_id = rows->AsString("keyid");
  return record;
}

SignedFields SignedFieldsOfRow(std::string_view code, const db::Dataset& row) {
  SignedFields fields;
  fields.code = std::string(code);
  fields.name = NullableText(row, "name");
  fields.version = NullableText(row, "version");
  fields.updatedate = row.AsDateTime("updatedate");
  fields.caption = row.AsInt64("caption");
  return fields;
}

TrustedKeys::TrustedKeys(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    configured_ = true;
    if (const auto key = ParsePublicKeyLine(line)) keys_.push_back(*key);
  }
}

const PublicKey* TrustedKeys::Find(const std::string& key_id) const {
  for (const PublicKey& key : keys_)
    if (KeyId(key) == key_id) return &key;
  return nullptr;
}

SignatureVerdict CheckSignature(const std::optional<SignatureRecord>& record, SignedFields fields,
                                const TrustedKeys& keys) {
  if (!record) return SignatureVerdict::Missing;
  const PublicKey* key = keys.Find(record->key_id);
  if (key == nullptr) return SignatureVerdict::UnknownKey;
  fields.landed = record->landed;
  return SignatureMatches(SignedMessage(fields), record->signature, *key)
             ? SignatureVerdict::Good
             : SignatureVerdict::BadSignature;
}

}  // namespace nurv
