#include "connection/loader_login.h"

#include <gtest/gtest.h>

namespace nurv {
namespace {

TEST(LoaderLogin, PasswordIsRestored) {
  EXPECT_STREQ(kLoaderLogin, "NurvLoader");
  EXPECT_EQ(LoaderPassword(), "NurvUpd#6300");
}

}  // namespace
}  // namespace nurv
