// Enabling and disabling the controls after the current choices.
#include "host/HostCommands.h"
#include "host/Params.h"
#include "tests/host/HostFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// The order in which the updates are sent, whatever the values.
const std::vector<PF_ParamIndex> kUpdateOrder = {3, 20, 21, 6, 7, 8, 9, 10, 5, 13, 12, 15, 14, 17, 18, 16};

// Controls whose collapse bit is cleared, and those where it is set; the
// rest keep the host's bit.
const std::set<PF_ParamIndex> kCollapseCleared = {3, 20};
const std::set<PF_ParamIndex> kCollapseSet = {6, 7, 8, 9, 10, 21};

struct Scenario {
    const char* what;
    std::vector<std::pair<const char*, harness::ParamValue>> values;
    std::set<PF_ParamIndex> disabled; // every other control is enabled
};

const std::vector<Scenario>& scenarios()
{
    static const std::vector<Scenario> table = {
        {"defaults", {}, {6, 7, 8, 18, 16}},
        {"nearest to point with specified layer", {{"Texture Origin", std::string("Nearest To Point")}}, {6, 7, 8, 16}},
        {"original frame, gradient off",
         {{"Texture Source", std::string("Original Frame")}},
         {7, 8, 10, 5, 13, 14, 15, 17, 18}},
        {"original frame, gradient on",
         {{"Texture Source", std::string("Original Frame")}, {"Scale X Gradient", true}},
         {9, 10, 5, 13, 14, 15, 17, 18}},
        {"original frame, nearest to point: point stays disabled",
         {{"Texture Source", std::string("Original Frame")}, {"Texture Origin", std::string("Nearest To Point")}},
         {7, 8, 10, 5, 13, 14, 15, 17, 18}},
        {"gradient left on with specified layer", {{"Scale X Gradient", true}}, {6, 7, 8, 18, 16}},
        {"to edge with specified layer", {{"To Edge", true}}, {21, 6, 7, 8, 18, 16}},
        {"to edge with original frame",
         {{"To Edge", true}, {"Texture Source", std::string("Original Frame")}},
         {21, 7, 8, 10, 5, 13, 14, 15, 17, 18}},
    };
    return table;
}

// Checks the updates of one command: the 16 rows in order, each a copy of
// the host's definition that differs only in the two bits.
// hostDefs: the definitions the host passed with the command (by default
// its params array as it stands).
void checkUpdates(harness::Host& host, std::size_t firstUpdate, const std::set<PF_ParamIndex>& disabled,
                  const std::vector<PF_ParamDef>& hostDefs = {})
{
    const std::vector<harness::UiUpdate> updates(host.uiUpdates().begin() + static_cast<std::ptrdiff_t>(firstUpdate),
                                                 host.uiUpdates().end());
    ASSERT_EQ(updates.size(), kUpdateOrder.size());
    PF_ParamDef** hostParams = host.paramsArray();
    auto hostDef = [&](PF_ParamIndex index) -> const PF_ParamDef& {
        return hostDefs.empty() ? *hostParams[index] : hostDefs[static_cast<std::size_t>(index)];
    };
    for (std::size_t row = 0; row < updates.size(); ++row) {
        const PF_ParamIndex index = updates[row].index;
        ASSERT_EQ(index, kUpdateOrder[row]) << "row " << row + 1;
        const PF_ParamDef& sent = updates[row].def;
        const PF_ParamDef& original = hostDef(index);

        // Enable bit: the group starts keep the host's state.
        if (index == PARAM_TEXTURE_SETTINGS_START || index == PARAM_STROKE_SETTINGS_START)
            EXPECT_EQ(sent.ui_flags & PF_PUI_DISABLED, original.ui_flags & PF_PUI_DISABLED) << "index " << index;
        else
            EXPECT_EQ((sent.ui_flags & PF_PUI_DISABLED) != 0, disabled.count(index) == 1) << "index " << index;

        if (kCollapseCleared.count(index))
            EXPECT_EQ(sent.flags & PF_ParamFlag_COLLAPSE_TWIRLY, 0) << "index " << index;
        else if (kCollapseSet.count(index))
            EXPECT_NE(sent.flags & PF_ParamFlag_COLLAPSE_TWIRLY, 0) << "index " << index;
        else
            EXPECT_EQ(sent.flags & PF_ParamFlag_COLLAPSE_TWIRLY, original.flags & PF_ParamFlag_COLLAPSE_TWIRLY);

        // Everything else, the value included, is the host's.
        PF_ParamDef masked = sent;
        masked.ui_flags = (masked.ui_flags & ~PF_PUI_DISABLED) | (original.ui_flags & PF_PUI_DISABLED);
        masked.flags = (masked.flags & ~PF_ParamFlag_COLLAPSE_TWIRLY) | (original.flags & PF_ParamFlag_COLLAPSE_TWIRLY);
        EXPECT_EQ(std::memcmp(&masked, &original, sizeof masked), 0) << "index " << index << " copy differs";
    }
    // The resulting state of every control, touched or not.
    for (int index = 1; index < PARAM_COUNT; ++index)
        EXPECT_EQ(host.paramEnabled(index), disabled.count(index) == 0) << "index " << index;
}

} // namespace

TEST(ChangeParam, EnablesControlsAfterTheChoices)
{
    for (const Scenario& s : scenarios()) {
        SCOPED_TRACE(s.what);
        auto host = makeHost();
        ASSERT_EQ(host->setup(), PF_Err_NONE);
        for (const auto& [name, value] : s.values) host->setParam(name, value);
        const std::size_t before = host->uiUpdates().size();
        ASSERT_EQ(host->updateParamsUI(), PF_Err_NONE);
        checkUpdates(*host, before, s.disabled);
        EXPECT_TRUE(host->outstandingSuites().empty());
        EXPECT_TRUE(host->lastCommand().violations.empty()) << harness::Describe(host->lastCommand().violations);
    }
}

TEST(ChangeParam, StateFollowsTheCurrentValuesOnly)
{
    auto host = makeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    host->setParam("Texture Source", std::string("Original Frame"));
    host->setParam("Scale X Gradient", true);
    host->setParam("To Edge", true);
    ASSERT_EQ(host->updateParamsUI(), PF_Err_NONE);
    host->setParam("Texture Source", std::string("Specified Layer"));
    host->setParam("Scale X Gradient", false);
    host->setParam("To Edge", false);
    const std::size_t before = host->uiUpdates().size();
    ASSERT_EQ(host->updateParamsUI(), PF_Err_NONE);
    checkUpdates(*host, before, scenarios().front().disabled);
}

TEST(ChangeParam, UnknownTextureSourceCountsAsSpecifiedLayer)
{
    auto host = makeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    const std::size_t before = host->uiUpdates().size();
    // A value no popup entry has: only a damaged project could hold it, so
    // it is handed over directly.
    host->beginCommand(PF_Cmd_UPDATE_PARAMS_UI);
    PF_ParamDef** params = host->paramsArray();
    params[PARAM_TEXTURE_SOURCE]->u.pd.value = 3;
    params[PARAM_TEXTURE_ORIGIN]->u.pd.value = TEXTURE_ORIGIN_NEAREST_TO_POINT;
    std::vector<PF_ParamDef> handedOver;
    for (int i = 0; i < PARAM_COUNT; ++i) handedOver.push_back(*params[i]);
    const PF_Err err = EffectMain(PF_Cmd_UPDATE_PARAMS_UI, host->inData(), host->outData(), params, nullptr, nullptr);
    const harness::CommandReport report = host->endCommand(err);
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
    checkUpdates(*host, before, {6, 7, 8, 16}, handedOver);
}

TEST(ChangeParam, MissingParamUtilsSuiteReturns516AndLeavesNothingAcquired)
{
    for (auto how : {harness::Host::Withdrawal::Error, harness::Host::Withdrawal::NullWithSuccess}) {
        auto host = makeHost();
        ASSERT_EQ(host->registerPlugin(), PF_Err_NONE);
        ASSERT_EQ(host->globalSetup(), PF_Err_NONE);
        ASSERT_EQ(host->paramsSetup(), PF_Err_NONE);
        host->withdrawSuite("PF Param Utils Suite", 3, how);
        EXPECT_EQ(host->updateParamsUI(), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_TRUE(host->uiUpdates().empty());
        EXPECT_TRUE(host->outstandingSuites().empty());
        EXPECT_TRUE(host->lastCommand().violations.empty()) << harness::Describe(host->lastCommand().violations);
    }
}

// The undecorated entry a macOS host may call directly: the missing suite
// comes back as its code instead of an exception crossing the boundary.
TEST(ChangeParam, DirectCallReturnsTheMissingSuiteCode)
{
    auto host = makeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    host->withdrawSuite("PF Param Utils Suite", 3);
    host->beginCommand(PF_Cmd_UPDATE_PARAMS_UI);
    PF_Err err = PF_Err_NONE;
    EXPECT_NO_THROW(err = ChangeParam(host->inData(), host->outData(), host->paramsArray()));
    EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(host->endCommand(err).violations.empty());
}

TEST(ChangeParam, RefusedUpdateDoesNotStopTheOthers)
{
    auto host = makeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    const std::size_t before = host->uiUpdates().size();
    host->failCall("PF_UpdateParamUI", 3, PF_Err_INVALID_INDEX); // Stroke Length
    host->setParam("To Edge", true);
    EXPECT_EQ(host->updateParamsUI(), PF_Err_NONE);
    const std::vector<harness::UiUpdate>& updates = host->uiUpdates();
    ASSERT_EQ(updates.size() - before, kUpdateOrder.size());
    EXPECT_EQ(updates[before + 2].result, PF_Err_INVALID_INDEX);
    EXPECT_TRUE(host->outstandingSuites().empty());
}
