#include <gtest/gtest.h>

TEST(appLibrary, Links) { SUCCEED(); }
