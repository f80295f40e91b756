#include <gtest/gtest.h>

#include <cmath>

#include "ProbeHost.h"

namespace {

using harness::Keyframe;
using harness::PointValue;

class ParamValues : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = MakeProbeHost();
        ASSERT_EQ(host->setup(), PF_Err_NONE);
        host->setInput(TestPicture(40, 30));
        capture.attach(*host);
    }

    probe::ProbeData renderAt(double seconds, harness::Downsample ds = {})
    {
        capture.seen = false;
        const harness::FrameResult frame = host->renderFrame(seconds, 8, ds);
        EXPECT_EQ(frame.preRenderErr, PF_Err_NONE);
        EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
        EXPECT_TRUE(capture.seen);
        return capture.data;
    }

    std::string errorOf(const std::function<void()>& set)
    {
        try {
            set();
        } catch (const std::invalid_argument& e) {
            return e.what();
        }
        return {};
    }

    std::unique_ptr<harness::Host> host;
    ProbeCapture capture;
};

TEST_F(ParamValues, KeyframesInterpolateNumbersAndHoldChoices)
{
    host->setParamKeys("Amount", {{0.0, -20.0}, {2.0, 60.0}});
    host->setParamKeys("Angle", {{0.0, 0.0}, {1.0, 90.0}});
    host->setParamKeys("Choice", {{0.0, 1.0}, {1.0, std::string("Three")}});
    host->setParamKeys("Flag", {{0.0, false}, {0.5, true}});
    host->setParamKeys("Spot", {{0.0, PointValue{0, 0}}, {1.0, PointValue{10, -20}}});

    const probe::ProbeData early = renderAt(0.25);
    EXPECT_EQ(early.amount, -10.0);
    EXPECT_EQ(early.angle, 22.5 * 65536);
    EXPECT_EQ(early.choice, 1);
    EXPECT_EQ(early.flag, 0);
    EXPECT_EQ(early.spotX, static_cast<PF_Fixed>(2.5 * 65536));
    EXPECT_EQ(early.spotY, -5 * 65536);

    const probe::ProbeData late = renderAt(1.0);
    EXPECT_EQ(late.amount, 20.0);
    EXPECT_EQ(late.choice, 3); // a held value switches exactly at its key
    EXPECT_EQ(late.flag, 1);

    const probe::ProbeData after = renderAt(5.0); // past the last key: the last value
    EXPECT_EQ(after.amount, 60.0);
    EXPECT_EQ(after.angle, 90 * 65536);
}

TEST_F(ParamValues, FixedPointRoundsHalfAwayFromZero)
{
    host->setParam("Spot", PointValue{-1.5 / 65536, 2.5 / 65536});
    host->setParam("Angle", -0.5 / 65536);
    const probe::ProbeData d = renderAt(0.0);
    EXPECT_EQ(d.spotX, -2);
    EXPECT_EQ(d.spotY, 3);
    EXPECT_EQ(d.angle, -1);
}

TEST_F(ParamValues, PointIsHandedOverAtRenderScale)
{
    host->setParam("Spot", PointValue{101, 51});
    const probe::ProbeData half = renderAt(0.0, {1, 2, 1, 2});
    EXPECT_EQ(half.spotX, static_cast<PF_Fixed>(50.5 * 65536));
    EXPECT_EQ(half.spotY, static_cast<PF_Fixed>(25.5 * 65536));
    const probe::ProbeData third = renderAt(0.0, {1, 3, 2, 3});
    EXPECT_EQ(third.spotX, static_cast<PF_Fixed>(std::round(101.0 / 3 * 65536)));
    EXPECT_EQ(third.spotY, 34 * 65536);
}

TEST_F(ParamValues, ValuesAreCheckedAgainstTheDefinition)
{
    struct Case {
        const char* param;
        harness::ParamValue value;
        const char* expected; // part of the message; empty: accepted
    };
    const Case cases[] = {
        {"Amount", 100.5, "'Amount': 100.5 lies outside the valid range -100 to 100"},
        {"Amount", 100.000001, ""}, // 100 as a float
        {"Amount", std::string("ten"), "'Amount' is a float slider and takes a number"},
        {"Flag", 0.5, "'Flag' is a checkbox"},
        {"Flag", 1.0, ""},
        {"Choice", std::string("Four"), "'Choice' has no entry 'Four' (entries: 'One', 'Two', 'Three')"},
        {"Choice", 4.0, "'Choice': 4 is not a choice (1 to 3)"},
        {"Choice", std::string("Two"), ""},
        {"Spot", 3.0, "'Spot' is a point"},
        {"Spot", PointValue{40000, 0}, "does not fit the host's 16.16 fixed point"},
        {"Mask", -1.0, "'Mask': -1 is not a path id"},
        {"Texture", 1.0, "'Texture' is a layer"},
        {"Nonexistent", 1.0, "no parameter named 'Nonexistent'"},
    };
    for (const Case& c : cases) {
        const std::string message = errorOf([&] { host->setParam(c.param, c.value); });
        if (c.expected[0] == '\0')
            EXPECT_EQ(message, "") << c.param;
        else
            EXPECT_NE(message.find(c.expected), std::string::npos) << c.param << ": " << message;
    }
    EXPECT_NE(errorOf([&] { host->setParamKeys("Amount", {{1.0, 0.0}, {1.0, 2.0}}); }).find("key times must increase"),
              std::string::npos);
}

TEST(ParamSetup, NthAddParamFailsWithTheGivenError)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->registerPlugin(), PF_Err_NONE);
    ASSERT_EQ(host->globalSetup(), PF_Err_NONE);
    host->failAddParam(3, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host->paramsSetup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host->paramCount(), 3); // the input layer and the two added before
    EXPECT_EQ(host->addedParams().size(), 2u);
    EXPECT_TRUE(host->violations().empty()) << harness::Describe(host->violations());

    // Counted from the injection: a fresh set-up succeeds.
    EXPECT_EQ(host->paramsSetup(), PF_Err_NONE);
    EXPECT_EQ(host->paramCount(), probe::kCount);
}

TEST(ParamSetup, UiUpdatesAreRecordedAndApplied)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    EXPECT_TRUE(host->paramEnabled(probe::kAngle));
    host->setParam("Flag", true);
    ASSERT_EQ(host->updateParamsUI(), PF_Err_NONE);
    ASSERT_EQ(host->uiUpdates().size(), 2u);
    const harness::UiUpdate& update = host->uiUpdates().back();
    EXPECT_EQ(update.index, probe::kAngle);
    EXPECT_STREQ(update.def.name, "Angle");
    EXPECT_NE(update.def.ui_flags & PF_PUI_DISABLED, 0);
    EXPECT_FALSE(host->paramEnabled(probe::kAngle));
    EXPECT_TRUE(host->violations().empty()) << harness::Describe(host->violations());
}

} // namespace
