// The built module, loaded through the system loader as the host loads it.
#include "harness/state/Host.h"

#include <gtest/gtest.h>

TEST(Module, LoadsAndSetsUpThroughTheSystemLoader)
{
    harness::Host host;
    host.load(LINESTRA_MODULE_PATH);
    ASSERT_EQ(host.setup(), PF_Err_NONE);
    EXPECT_EQ(host.registration().matchName, "CobblewoodLinestra");
    EXPECT_EQ(host.globalOutFlags2(), 0x0A001400);
    EXPECT_EQ(host.paramCount(), 28);
    EXPECT_TRUE(host.violations().empty()) << harness::Describe(host.violations());
}
