#pragma once
#include <string>
#include <string_view>

#include "db/database.h"

namespace nurv {

// The loader's SQL texts on UpdatesBLOB; a module code is appended as db::SqlLiteral(code).
// The catalogue: every column but the file contents.
inline constexpr std::string_view kCatalogueQuery =
    "SELECT vcode, icode, tdoc, version, name, caption, result, wdate, updatedate, repl FROM "
    "UpdatesBLOB (nolock)";
// The available version of the main program (PRG) and of the loader (LDR).
inline constexpr std::string_view kVersionQuery = "select version from UpdatesBLOB where tdoc = ";
// Contents of a single-file module.
inline constexpr std::string_view kModuleContentsQuery =
    "select * from UpdatesBLOB (nolock) where tdoc = ";
// Contents of a file group (no locking hint).
inline constexpr std::string_view kGroupContentsQuery = "select * from UpdatesBLOB where tdoc = ";

// Selects the catalogue rows of `code`: filtering off, the filter on `tdoc`, filtering on.
// False when no row matches; otherwise true, positioned on the first matching row. Errors of the
// dataset pass to the caller.
bool FilterCatalogue(db::Dataset& catalogue, std::string_view code);

}  // namespace nurv
