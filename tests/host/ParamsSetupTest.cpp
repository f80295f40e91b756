// The 28 parameters as the host receives them, and what happens when the
// host refuses one.
#include "host/Params.h"
#include "tests/host/HostFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Slider {
    float minimum, maximum, dephault;
    int precision;
    int display;
};

struct Expected {
    int index;
    const char* name;
    PF_ParamType type;
    A_long diskId;
    std::optional<Slider> slider{};
    int checkbox = -1;              // default of a checkbox: 0 or 1
    const char* popup = nullptr;    // entries of a popup
};

// Written out from the parameter table the host shows; 0.001f is the float
// nearest to 0.001.
const std::vector<Expected>& expectedParams()
{
    static const std::vector<Expected> table = {
        {1, "Path", PF_Param_PATH, 1},
        {2, "Expand/Contract Path", PF_Param_FLOAT_SLIDER, 2, Slider{-5000.0f, 5000.0f, 0.0f, 2, 0}},
        {3, "Texture Settings", PF_Param_GROUP_START, 65},
        {4, "Texture Source", PF_Param_POPUP, 3, {}, -1, "Specified Layer|Original Frame"},
        {5, "Specified Layer", PF_Param_LAYER, 5},
        {6, "Scale X Gradient", PF_Param_CHECKBOX, 74, {}, 0},
        {7, "Scale X Start", PF_Param_FLOAT_SLIDER, 72, Slider{0.001f, 250.0f, 1.0f, 3, 0}},
        {8, "Scale X End", PF_Param_FLOAT_SLIDER, 73, Slider{0.001f, 250.0f, 2.0f, 3, 0}},
        {9, "Scale X", PF_Param_FLOAT_SLIDER, 21, Slider{0.001f, 250.0f, 2.0f, 3, 0}},
        {10, "Scale Y", PF_Param_FLOAT_SLIDER, 22, Slider{0.001f, 250.0f, 2.0f, 3, 0}},
        {11, "Texture Offset", PF_Param_ANGLE, 16},
        {12, "Mirror X", PF_Param_CHECKBOX, 39, {}, 0},
        {13, "Mirror Y", PF_Param_CHECKBOX, 6, {}, 0},
        {14, "Repeat Mirrored X", PF_Param_CHECKBOX, 7, {}, 1},
        {15, "Repeat Mirrored Y", PF_Param_CHECKBOX, 38, {}, 1},
        {16, "Mirror Tile At Edge", PF_Param_CHECKBOX, 13, {}, 1},
        {17, "Texture Origin", PF_Param_POPUP, 8, {}, -1, "Start Of Path|Nearest To Point"},
        {18, "Point", PF_Param_POINT, 9},
        {19, "", PF_Param_GROUP_END, 66},
        {20, "Stroke Settings", PF_Param_GROUP_START, 67},
        {21, "Stroke Length", PF_Param_FLOAT_SLIDER, 15, Slider{-10000.0f, 10000.0f, -150.0f, 0, 0}},
        {22, "To Edge", PF_Param_CHECKBOX, 64, {}, 0},
        {23, "Fade In", PF_Param_FLOAT_SLIDER, 18, Slider{0.0f, 100.0f, 0.0f, 2, PF_ValueDisplayFlag_PERCENT}},
        {24, "Fade Out", PF_Param_FLOAT_SLIDER, 19, Slider{0.0f, 100.0f, 0.0f, 2, PF_ValueDisplayFlag_PERCENT}},
        {25, "Stop Fade At Edge", PF_Param_CHECKBOX, 20, {}, 0},
        {26, "Composite On Original", PF_Param_CHECKBOX, 69, {}, 1},
        {27, "", PF_Param_GROUP_END, 68},
    };
    return table;
}

bool allZero(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

void checkDefinition(const Expected& e, const PF_ParamDef& def)
{
    SCOPED_TRACE(std::string("parameter ") + std::to_string(e.index) + " \"" + e.name + "\"");
    EXPECT_EQ(def.param_type, e.type);
    EXPECT_STREQ(def.name, e.name);
    EXPECT_EQ(def.uu.id, e.diskId);
    EXPECT_EQ(def.flags, 0);
    EXPECT_EQ(def.ui_flags, 0);
    EXPECT_EQ(def.ui_width, 0);
    EXPECT_EQ(def.ui_height, 0);

    switch (e.type) {
    case PF_Param_FLOAT_SLIDER: {
        ASSERT_TRUE(e.slider.has_value());
        const PF_FloatSliderDef& fs = def.u.fs_d;
        const Slider& s = *e.slider;
        EXPECT_EQ(fs.value, static_cast<double>(s.dephault));
        EXPECT_EQ(fs.dephault, s.dephault);
        EXPECT_EQ(fs.valid_min, s.minimum);
        EXPECT_EQ(fs.slider_min, s.minimum);
        EXPECT_EQ(fs.valid_max, s.maximum);
        EXPECT_EQ(fs.slider_max, s.maximum);
        EXPECT_EQ(fs.precision, s.precision);
        EXPECT_EQ(fs.display_flags, s.display);
        EXPECT_EQ(fs.fs_flags, PF_FSliderFlag_WANT_PHASE);
        EXPECT_EQ(fs.curve_tolerance, 0.05f);
        EXPECT_EQ(fs.phase, 0.0);
        EXPECT_STREQ(fs.value_desc, "");
        EXPECT_EQ(fs.useExponent, 0);
        EXPECT_EQ(fs.exponent, 0.0f);
        break;
    }
    case PF_Param_CHECKBOX:
        EXPECT_EQ(def.u.bd.value, e.checkbox);
        EXPECT_EQ(def.u.bd.dephault, e.checkbox);
        ASSERT_NE(def.u.bd.u.nameptr, nullptr);
        EXPECT_STREQ(def.u.bd.u.nameptr, "");
        break;
    case PF_Param_POPUP:
        EXPECT_EQ(def.u.pd.value, 1);
        EXPECT_EQ(def.u.pd.dephault, 1);
        EXPECT_EQ(def.u.pd.num_choices, 2);
        ASSERT_NE(def.u.pd.u.namesptr, nullptr);
        EXPECT_STREQ(def.u.pd.u.namesptr, e.popup);
        break;
    case PF_Param_PATH: EXPECT_EQ(def.u.path_d.dephault, 0); break;
    case PF_Param_LAYER: EXPECT_EQ(def.u.ld.dephault, PF_LayerDefault_NONE); break;
    default:
        // Angle 0, point (0, 0), group markers: nothing but zeros.
        EXPECT_TRUE(allZero(&def.u, sizeof def.u));
        break;
    }
}

} // namespace

TEST(ParamsSetup, DeclaresEveryParameterExactly)
{
    auto host = makeHost();
    ASSERT_EQ(host->registerPlugin(), PF_Err_NONE);
    ASSERT_EQ(host->globalSetup(), PF_Err_NONE);
    ASSERT_EQ(host->paramsSetup(), PF_Err_NONE);

    const std::vector<PF_ParamDef>& added = host->addedParams();
    ASSERT_EQ(added.size(), expectedParams().size());
    for (const Expected& e : expectedParams()) checkDefinition(e, added[static_cast<std::size_t>(e.index - 1)]);

    EXPECT_EQ(host->outData()->num_params, PARAM_COUNT);
    EXPECT_EQ(host->paramCount(), 28);
}

TEST(ParamsSetup, IndicesMatchTheConstants)
{
    auto host = makeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    EXPECT_EQ(host->paramIndex("Path"), PARAM_PATH);
    EXPECT_EQ(host->paramIndex("Texture Source"), PARAM_TEXTURE_SOURCE);
    EXPECT_EQ(host->paramIndex("Scale X"), PARAM_SCALE_X);
    EXPECT_EQ(host->paramIndex("Point"), PARAM_POINT);
    EXPECT_EQ(host->paramIndex("Stroke Length"), PARAM_STROKE_LENGTH);
    EXPECT_EQ(host->paramIndex("Composite On Original"), PARAM_COMPOSITE_ON_ORIGINAL);
}

// Path and the group markers are added whatever the host answers; any other
// refused add ends the command with the host's error and leaves num_params.
TEST(ParamsSetup, AddParamErrorPolicy)
{
    constexpr PF_Err kRefusal = PF_Err_OUT_OF_MEMORY;
    for (const Expected& e : expectedParams()) {
        SCOPED_TRACE(std::string("refusing add ") + std::to_string(e.index) + " \"" + e.name + "\"");
        auto host = makeHost(harness::kApplIdCompositor, /*trace=*/true);
        ASSERT_EQ(host->registerPlugin(), PF_Err_NONE);
        ASSERT_EQ(host->globalSetup(), PF_Err_NONE);
        host->outData()->num_params = -7;
        host->failAddParam(e.index, kRefusal);
        const PF_Err err = host->paramsSetup();
        int adds = 0;
        for (const harness::TraceEntry& entry : host->trace()) adds += entry.function == "add_param" ? 1 : 0;

        const bool unchecked = e.type == PF_Param_PATH || e.type == PF_Param_GROUP_START ||
                               e.type == PF_Param_GROUP_END;
        if (unchecked) {
            EXPECT_EQ(err, PF_Err_NONE);
            EXPECT_EQ(host->outData()->num_params, 28);
            EXPECT_EQ(adds, 27); // every add is still made
        } else {
            EXPECT_EQ(err, kRefusal);
            EXPECT_EQ(host->outData()->num_params, -7);
            EXPECT_EQ(adds, e.index); // nothing after the refused one
        }
    }
}
