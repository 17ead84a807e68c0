#include <gtest/gtest.h>

#include <cstdlib>

// The simulated camera at a hundredth of real time unless the environment (CTest)
// says otherwise; both are read at the platform library's first use.
int main(int argc, char** argv) {
    setenv("CORVALIS_CAMERA", "simulator", 0);
    setenv("CORVALIS_SIM_TIMESCALE", "0.01", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
