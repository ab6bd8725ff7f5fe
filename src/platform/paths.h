#pragma once

namespace nurv::platform {

// Separator of the platform's paths; the loader's folders end in it.
#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
#else
inline constexpr char kPathDelim = '/';
#endif

}  // namespace nurv::platform
