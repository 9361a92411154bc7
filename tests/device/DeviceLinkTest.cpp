#include <gtest/gtest.h>

#include "device/DeviceLink.h"

TEST(DeviceLink, ImageIs32KiB) { EXPECT_EQ(zorvex::kMemoryImageSize, 32 * 1024); }
