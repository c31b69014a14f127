#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/wine_rig.h"

namespace tarnwick::testing {

// A test on this process's Wine rig: it must be ready, and each test leaves
// it without the devices and COM links it added.
class WineRigTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(rig().ready()) << rig().error(); }

  void TearDown() override {
    std::string error;
    EXPECT_TRUE(rig().reset(&error)) << error;
  }

  static WineRig& rig() { return WineRig::shared(); }
};

}  // namespace tarnwick::testing
