#include "publish/signing_keys.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/utf8.h"
#include "platform/paths.h"
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
  const KeyPair pair = GenerateKeyPair();
  // Created empty and closed to its owner before the secret is written into it.
  WriteLine(key_path, "");
  fs::permissions(PathFromUtf8(key_path), fs::perms::owner_read | fs::perms::owner_write,
                  fs::perm_options::replace, error);
  if (error) throw PublishError("Права файла " + key_path + " не заданы: " + error.message());
  WriteLine(key_path, SecretKeyLine(pair.secret_key) + "\n");
  fs::remove(PathFromUtf8(pub_path), error);
  const std::string public_line = PublicKeyLine(pair.public_key);
  WriteLine(pub_path, public_line + "\n");
  report << "Секретный ключ: " << key_path << '\n'
         << "Открытый ключ: " << pub_path << '\n'
         << public_line << '\n';
}

SecretKey ReadSecretKeyFile(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) throw PublishError("Файл ключа не прочитан: " + path);
  std::string line;
  std::getline(in, line);
  const auto key = ParseSecretKeyLine(line);
  if (!key) throw PublishError("В файле " + path + " нет секретного ключа nurv-publish");
  return *key;
}

}  // namespace nurv::publish
