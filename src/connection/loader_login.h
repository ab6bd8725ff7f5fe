#pragma once
#include <string>

namespace nurv {

// The fixed SQL login under which the loader reads the update table.
inline constexpr char kLoaderLogin[] = "NurvLoader";

// The login's password, restored from the scrambled form held in the program.
std::string LoaderPassword();

}  // namespace nurv
