#include "e2e/end_to_end.h"

namespace tarnwick::testing {

INSTANTIATE_TEST_SUITE_P(Builds, EndToEnd, ::testing::Values("linux", "windows"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace tarnwick::testing
