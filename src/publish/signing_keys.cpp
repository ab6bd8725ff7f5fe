#include "publish/signing_keys.h"

#include <array>
#include <filesystem>
#include <fstream>

#include "base/utf8.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/secret_file.h"
#include "publish/publish_commands.h"
#include "support/signing.h"

namespace nurv::publish {

namespace {

namespace fs = std::filesystem;

// Appends `line` to the file at `path`, creating it.
void WriteLine(const std::string& path, const std::string& line) {
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::app);
  out << line;
  out.close();
  if (!out) throw PublishError("Файл не записан: " + path);
}

}  // namespace

void GenerateKeyFiles(const std::string& folder, std::ostream& report) {
  const std::string key_path = folder + platform::kPathDelim + "nurv-publish.key";
  const std::string pub_path = folder + platform::kPathDelim + "nurv-publish.pub";
  std::error_code error;
  if (!fs::is_directory(PathFromUtf8(folder), error))
    throw PublishError("Нет такой папки: " + folder);
  if (fs::exists(fs::symlink_status(PathFromUtf8(key_path), error)))
    throw PublishError("Ключ уже есть, новый не создан: " + key_path);
  const Wiped<KeyPair> pair{GenerateKeyPair()};
  {
    const Wiped<SecretKeyText> line{SecretKeyLine(pair.value.secret_key)};
    if (!platform::WriteNewOwnerOnlyFile(key_path,
                                         std::string_view(line.value.data(), line.value.size())))
      throw PublishError("Файл не записан: " + key_path + " (" + platform::LastErrorText() + ")");
  }
  fs::remove(PathFromUtf8(pub_path), error);
  const std::string public_line = PublicKeyLine(pair.value.public_key);
  WriteLine(pub_path, public_line + "\n");
  report << "Секретный ключ: " << key_path << '\n'
         << "Открытый ключ: " << pub_path << '\n'
         << public_line << '\n';
}

void ReadSecretKeyFile(const std::string& path, SecretKey& key) {
  // Room for the key's line and more: a longer file is no key file either.
  Wiped<std::array<char, 256>> text;
  const platform::OwnerOnlyRead read = platform::ReadOwnerOnlyFile(path, text.value);
  switch (read.outcome) {
    case platform::OwnerOnlyRead::Outcome::Unreadable:
      throw PublishError("Файл ключа не прочитан: " + path + " (" + read.detail + ")");
    case platform::OwnerOnlyRead::Outcome::OpenToOthers:
      // As ssh refuses a private key file others may open: the key may be known already.
      throw PublishError("Права файла ключа " + path + " слишком открыты (" + read.detail +
                         "): секретный ключ должен быть доступен только владельцу, ключ не "
                         "принят");
    case platform::OwnerOnlyRead::Outcome::Read:
      break;
  }
  if (!ParseSecretKeyLine(std::string_view(text.value.data(), read.size), key))
    throw PublishError("В файле " + path + " нет секретного ключа nurv-publish");
}

}  // namespace nurv::publish
