// Runs with a private sound server (with_desktop_services.sh).
#include "shared/permissions/PermissionsManager.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

using namespace quelmo::shared;

TEST(MicrophoneDesktopTest, ACaptureStreamOnTheDefaultSourceGrantsTheMicrophone) {
    EXPECT_TRUE(PermissionsManager::isMicrophoneGranted());
    std::optional<bool> granted;
    PermissionsManager::requestMicrophone([&](bool answer) { granted = answer; });
    ASSERT_TRUE(quelmo::test::spinUntil([&] { return granted.has_value(); }, 10000));
    EXPECT_TRUE(*granted);
}
