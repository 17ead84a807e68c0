// With only the first family's simulated camera listed, the second family's library
// finds nothing to open.
#include <gtest/gtest.h>

#include <vector>

#include "nimbus.h"

TEST(NimbusWithoutDevice, InitFailsAndEverythingStaysClosed) {
    EXPECT_EQ(CameraInit(0, 0, nullptr, nullptr), 0);
    std::vector<unsigned char> raw(NIMBUS_RAW_BYTES(std::size_t{2584}, std::size_t{1936}));
    EXPECT_EQ(CameraGetImageData(raw.data()), -1);
    int w = 0, h = 0;
    EXPECT_EQ(CameraGetImageSize(&w, &h), -1);
    EXPECT_EQ(CameraUnInit(), -1);
}
