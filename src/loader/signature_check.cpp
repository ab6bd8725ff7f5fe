#include "loader/signature_check.h"

#include "base/text_utils.h"
#include "rules/row_signature.h"
#include "support/signing.h"

namespace nurv {

bool StoredBytesSigned(UpdateContext& ctx, std::string_view code, const db::Dataset& row,
                       const Sha256Digest& stored, const std::string& shown_path,
                       Sha256Digest& landed) {
  if (!ctx.trusted_keys.configured()) return true;
  const auto record = ReadSignatureRecord(ctx.connection, row.AsInt64("vcode"));
  SignedFields fields = SignedFieldsOfRow(code, row);
  fields.stored = stored;
  const char* refusal = nullptr;
  switch (CheckSignature(record, fields, ctx.trusted_keys)) {
    case SignatureVerdict::Good:
      landed = record->landed;
      return true;
    case SignatureVerdict::Missing:
      refusal = "Строка обновления не подписана";
      break;
    case SignatureVerdict::UnknownKey:
      refusal = "Ключ подписи не доверен";
      break;
    case SignatureVerdict::BadSignature:
      refusal = "Подпись не верна";
      break;
  }
  ctx.ui.AddLogLine(std::string("--> ОШИБКА проверки подписи. ") + refusal + ": [" +
                    EscapeControlBytes(shown_path) + "]");
  return false;
}

bool LandedBytesSigned(UpdateContext& ctx, const Sha256Digest& actual, const Sha256Digest& landed,
                       const std::string& shown_path) {
  if (!ctx.trusted_keys.configured() || actual == landed) return true;
  ctx.ui.AddLogLine("--> ОШИБКА проверки подписи. SHA-256 файла [" +
                    EscapeControlBytes(shown_path) + "] не совпадает с подписанной");
  return false;
}

bool PlainBytesSigned(UpdateContext& ctx, std::string_view code, const db::Dataset& row,
                      const Sha256Digest& digest, const std::string& shown_path) {
  Sha256Digest landed{};
  return StoredBytesSigned(ctx, code, row, digest, shown_path, landed) &&
         LandedBytesSigned(ctx, digest, landed, shown_path);
}

bool BytesSignedQuietly(UpdateContext& ctx, std::string_view code, const db::Dataset& row,
                        const Sha256Digest& stored, const Sha256Digest& actual) {
  if (!ctx.trusted_keys.configured()) return true;
  const auto record = ReadSignatureRecord(ctx.connection, row.AsInt64("vcode"));
  SignedFields fields = SignedFieldsOfRow(code, row);
  fields.stored = stored;
  return CheckSignature(record, fields, ctx.trusted_keys) == SignatureVerdict::Good &&
         record->landed == actual;
}

bool InstalledCopySigned(UpdateContext& ctx, std::string_view code, const db::Dataset& row,
                         const std::string& file) {
  if (!ctx.trusted_keys.configured()) return true;
  const FileDigest digest = FileSha256(file);
  if (!digest.error.empty()) return false;
  // A plain row stores the bytes that land.
  return BytesSignedQuietly(ctx, code, row, digest.digest, digest.digest);
}

}  // namespace nurv
