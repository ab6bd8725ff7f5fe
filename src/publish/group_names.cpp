#include "publish/group_names.h"

#include <set>

#include "base/utf8.h"
#include "rules/group_destination.h"
#include "rules/loader_files.h"

namespace nurv::publish {

std::optional<std::string> GroupNameRefusal(const ModuleEntry& group, const std::string& name) {
  std::string relative;
  try {
    relative = GroupFileDestination("", name, std::string(group.name_suffix));
  } catch (const UnsafeNameError& refusal) {
    return refusal.what();
  }
  const bool in_program_folder = group.folder == FolderKind::Program && group.sub_folder.empty();
  if (in_program_folder && relative.find_first_of("\\/") == std::string::npos) {
    const std::string lower = LowerCaseText(relative);
    for (const std::string_view loader_name : LoaderFileNames())
      if (lower == LowerCaseText(loader_name))
        return "Запись заменяет файл загрузчика: [" + name + "]";
  }
  return std::nullopt;
}

std::vector<std::string> CaseDuplicates(const std::vector<std::string>& names) {
  std::set<std::string> seen;
  std::vector<std::string> duplicates;
  for (const std::string& name : names) {
    std::string key = LowerCaseText(name);
    for (char& c : key)
      if (c == '/') c = '\\';
    if (!seen.insert(std::move(key)).second) duplicates.push_back(name);
  }
  return duplicates;
}

}  // namespace nurv::publish
