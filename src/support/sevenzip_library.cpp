#include "support/sevenzip_library.h"

#include <cstring>

namespace nurv::sz {

namespace {

template <typename T>
T ExportOf(const platform::SharedLibrary& module, const char* name) {
  void* symbol = module.Symbol(name);
  T function = nullptr;
  static_assert(sizeof function == sizeof symbol);
  std::memcpy(&function, &symbol, sizeof function);
  return function;
}

// The library's interface layout as it reports it; libraries without the report are of the
// old Linux layout (with a virtual destructor in IUnknown), Windows ones never were.
NURV_SZ_FOREIGN_CALLS std::optional<std::uint32_t> InterfaceType(
    const platform::SharedLibrary& module) {
  const auto get_module_prop = ExportOf<GetModulePropFunc>(module, "GetModuleProp");
  if (get_module_prop == nullptr) {
#ifdef _WIN32
    return 0;
#else
    return 1;
#endif
  }
  PropVariant value;
  std::memset(&value, 0, sizeof value);
  if (get_module_prop(kModulePropInterfaceType, &value) != kSOk || value.vt != kVtUi4) {
    return std::nullopt;
  }
  return value.ulVal;
}

}  // namespace

NURV_SZ_FOREIGN_CALLS std::optional<SevenZipModule> OpenSevenZipModule(
    const std::string& candidate) {
  SevenZipModule loaded;
  loaded.module = platform::LoadSharedLibrary(candidate);
  if (!loaded.module) return std::nullopt;
  loaded.create_object = ExportOf<CreateObjectFunc>(*loaded.module, "CreateObject");
  if (loaded.create_object == nullptr) return std::nullopt;
  // Calling a library of another layout would jump to the wrong slots.
  if (InterfaceType(*loaded.module) != kOurInterfaceType) return std::nullopt;
  const platform::SharedLibrary& module = *loaded.module;
  if (!loaded.strings.Bind([&module](const char* name) { return module.Symbol(name); })) {
    return std::nullopt;
  }
  return loaded;
}

}  // namespace nurv::sz
