// The POSIX port's drive letters: X opens the device or image named by NIMBALO_VOLUME_X.
// Not built for Windows, where letters are the system's own volumes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "mft/volume.h"

using namespace nimbalo;

TEST(Volume, LettersMapToEnvironmentVariables) {
    ::unsetenv("NIMBALO_VOLUME_Q");
    auto v = open_volume('Q');
    ASSERT_FALSE(v.ok());
    EXPECT_NE(v.error().find("NIMBALO_VOLUME_Q is not set"), std::string::npos) << v.error();

    ::setenv("NIMBALO_VOLUME_Q", "/nonexistent/nimbalo.img", 1);
    v = open_volume('Q');
    ASSERT_FALSE(v.ok());
    EXPECT_EQ(v.error(), "cannot open /nonexistent/nimbalo.img: No such file or directory");
    ::unsetenv("NIMBALO_VOLUME_Q");
}
