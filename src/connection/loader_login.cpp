#include "connection/loader_login.h"

#include "base/scramble.h"

namespace nurv {

namespace {

// The password of the loader's SQL login is not kept readable in the executable.
constexpr char kScrambledPassword[] = "280352368365284336327275297282295280";
constexpr char kScrambleKey[] = "КлючЗагрузчика";

}  // namespace

std::string LoaderPassword() { return UnscrambleText(kScrambledPassword, kScrambleKey); }

}  // namespace nurv
