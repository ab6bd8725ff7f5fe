#pragma once
#include <string>

namespace nurv::publish {

// A folder of this run's own inside the user's private temporary folder, removed with everything
// in it at the end.
class WorkFolder {
 public:
  WorkFolder();
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // The folder + separator + `name`.
  std::string Sub(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace nurv::publish
