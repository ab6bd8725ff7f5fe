#pragma once
// 7-Zip's library as a loaded module: the reader and the writer of archives each take their
// handler from it.
#include <memory>
#include <optional>
#include <string>

#include "platform/shared_library.h"
#include "support/sevenzip_abi.h"

namespace nurv::sz {

struct SevenZipModule {
  std::unique_ptr<platform::SharedLibrary> module;
  CreateObjectFunc create_object = nullptr;
  StringApi strings;
};

// The library at `candidate` when it exports CreateObject and its string allocator and has the
// interface layout declared in sevenzip_abi.h; nullopt otherwise.
std::optional<SevenZipModule> OpenSevenZipModule(const std::string& candidate);

}  // namespace nurv::sz
