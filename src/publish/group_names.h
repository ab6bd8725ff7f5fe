#pragma once
// The names of a file group's rows as the loader will take them.
#include <optional>
#include <string>
#include <vector>

#include "rules/module_catalogue.h"

namespace nurv::publish {

// Why the loader would refuse `name` as a row of `group`: a name that leaves the group's folder,
// holds a control character or a staging name, or names one of the loader's own files in the
// program folder (on a Windows workstation without regard to case). nullopt when it takes it.
std::optional<std::string> GroupNameRefusal(const ModuleEntry& group, const std::string& name);

// The names that equal an earlier one of `names` without regard to case: on a Windows
// workstation both rows would write one file.
std::vector<std::string> CaseDuplicates(const std::vector<std::string>& names);

}  // namespace nurv::publish
