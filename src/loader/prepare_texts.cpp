#include "loader/prepare_texts.h"

#include <algorithm>
#include <array>

#include "base/connection_text.h"
#include "base/text_utils.h"
#include "db/database.h"

namespace nurv {

namespace {

struct WriteText {
  WriteUnit unit;
  const char* error_line;
};

constexpr std::array<WriteText, 15> kWriteTexts{{
    {WriteUnit::Region, "Запись территориальной привязки (1) - ОШИБКА"},
    {WriteUnit::Region2, "Запись территориальной привязки (2) - ОШИБКА"},
    {WriteUnit::PathProgram, "Запись пути программы - ОШИБКА"},
    {WriteUnit::PathUpdate, "Запись пути обновлений - ОШИБКА"},
    {WriteUnit::PathHelp, "Запись пути файла справки - ОШИБКА"},
    {WriteUnit::PathShablon, "Запись пути шаблона - ОШИБКА"},
    {WriteUnit::PathReport, "Запись пути бланка - ОШИБКА"},
    {WriteUnit::ShowWordProces, "Запись процесса формирования бланка - ОШИБКА"},
    {WriteUnit::ThemeXP, "Запись слиля Windows - ОШИБКА"},
    {WriteUnit::RefreshRepl, "Запись времени обновления отображаемой информации - ОШИБКА"},
    {WriteUnit::LastUser, "Запись последнего пользователя - ОШИБКА"},
    {WriteUnit::DataBaseCaption51, "Запись описания БД - ОШИБКА"},
    {WriteUnit::DataBaseName51, "Запись имени БД - ОШИБКА"},
    {WriteUnit::ServerName51, "Запись имени сервера - ОШИБКА"},
    {WriteUnit::User51, "Запись имени пользователя - ОШИБКА"},
}};

struct ReadText {
  ReadUnit unit;
  const char* error_line;  // none: the failure is repaired without a word
  bool withholds_ok;
};

constexpr std::array<ReadText, 10> kReadTexts{{
    {ReadUnit::Region, nullptr, false},
    {ReadUnit::Region2, nullptr, false},
    {ReadUnit::Folders, "Считывание пути программы - ОШИБКА", true},
    {ReadUnit::PathUpdate, "Считывание пути обновлений - ОШИБКА", false},
    {ReadUnit::PathHelp, "Считывание пути файла справки - ОШИБКА", true},
    {ReadUnit::PathShablon, "Считывание пути шаблона - ОШИБКА", true},
    {ReadUnit::PathReport, "Считывание пути бланка - ОШИБКА", true},
    {ReadUnit::ShowWordProces, "Считывание процесса формирования бланка - ОШИБКА", true},
    {ReadUnit::ThemeXP, "Считывание стиля Windows - ОШИБКА", true},
    {ReadUnit::RefreshRepl, "Считывание времени обновления отображаемой информации - ОШИБКА", true},
}};

template <typename Table, typename Unit>
const auto& TextOf(const Table& table, Unit unit) {
  return *std::find_if(table.begin(), table.end(),
                       [&](const auto& row) { return row.unit == unit; });
}

}  // namespace

std::string RegistryKeyLine(bool key_was_missing) {
  return key_was_missing ? "Наличие записи в реестре - Отсутствует"
                         : "Наличие записи НУРВ в реестре - OK";
}

std::vector<std::string> RegistryWriteLines(const std::vector<WriteUnit>& failed) {
  std::vector<std::string> lines;
  for (const WriteUnit unit : failed) lines.emplace_back(TextOf(kWriteTexts, unit).error_line);
  if (failed.empty()) lines.emplace_back("Запись в реестр файла инициализации - OK");
  return lines;
}

std::vector<std::string> RegistryReadLines(const std::vector<ReadUnit>& failed) {
  std::vector<std::string> lines;
  bool ok = true;
  for (const ReadUnit unit : failed) {
    const ReadText& text = TextOf(kReadTexts, unit);
    if (text.error_line != nullptr) lines.emplace_back(text.error_line);
    if (text.withholds_ok) ok = false;
  }
  if (ok) lines.emplace_back("Считывание реестра  - OK");
  return lines;
}

std::string ConnectFailureEntry(const std::string& server, const std::string& database,
                                const std::exception& error) {
  const std::string message = EscapeControlBytesKeepingLineBreaks(error.what());
  std::string text = message;
  switch (db::KindOf(error)) {
    case db::ErrorKind::Unreachable:
      text = "Сеть не найдена...\r\n" + message;
      break;
    case db::ErrorKind::LoginRejected:
      text = "Ошибка аунтификации...\r\n" + message;
      break;
    default:
      break;
  }
  return "--> ОШИБКА подключения: Сервер: [" + ShownConnectionText(server) + "], " + "БД: [" +
         EscapeControlBytes(database) + "]" + "\r\n" + "--> ТЕКСТ ОШИБКИ: " + '"' + text + '"';
}

std::string RunLockFailureText(const platform::RunLockError& error) {
  const std::string path = EscapeControlBytes(error.path());
  if (error.reason() == platform::RunLockError::Reason::NotAFile)
    return "Не удалось занять файл блокировки запуска [" + path + "]: это не файл";
  return "Не удалось занять файл блокировки запуска [" + path + "]\r\n[" +
         EscapeControlBytes(error.system_text()) + "]";
}

std::string ComplexHeldLine(std::chrono::milliseconds waited) {
  return "--> ОШИБКА! Комплекс занят другим загрузчиком: ожидание прекращено через " +
         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(waited).count()) + " с";
}

std::string InvalidTrustedKeyLine(const std::string& entry) {
  return "Доверенный ключ [Security] " + entry + " - ОШИБКА: значение не является ключом подписи";
}

std::string AccessFailureEntry(const std::exception& error) {
  const std::string message = EscapeControlBytesKeepingLineBreaks(error.what());
  if (db::KindOf(error) == db::ErrorKind::NoPermission)
    return "--> ОШИБКА! Нет прав на обновление...\r\n" + message;
  return "--> ОШИБКА открытия набора данных...\r\n" + message;
}

}  // namespace nurv
