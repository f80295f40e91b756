// The texts of the Mask and Controls parameters, and the mapping of frei0r's
// 0 to 1 values onto the controls' own units.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "frei0r/Instance.h"
#include "frei0r/Settings.h"

namespace {

namespace fs = std::filesystem;
using namespace linestra_frei0r;

const Control& ControlNamed(const std::string& name)
{
    for (const Control& c : Params().controls)
        if (c.name == name)
            return c;
    throw std::invalid_argument("no control " + name);
}

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("linestra-frei0r-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    void write(const std::string& name, const std::string& text)
    {
        std::ofstream(folder_ / name) << text;
    }
    fs::path folder_;
};

TEST(Frei0rParams, TheControlsInTheEffectsOrderWithoutPathLayerAndGroups)
{
    const ParamTable& table = Params();
    ASSERT_TRUE(table.problem.empty()) << table.problem;
    std::vector<std::string> names;
    for (const Control& c : table.controls)
        names.push_back(c.name);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "Expand/Contract Path");
    EXPECT_EQ(names.back(), "Composite On Original");
    for (const char* absent : {"Path", "Specified Layer", ""})
        EXPECT_EQ(std::count(names.begin(), names.end(), absent), 0) << absent;
    EXPECT_EQ(ControlNamed("Mirror X").frei0rType, Frei0rType::Bool);
    EXPECT_EQ(ControlNamed("Point").frei0rType, Frei0rType::Position);
    EXPECT_EQ(ControlNamed("Texture Source").frei0rType, Frei0rType::Double);
    // The explanation gives the range the values map onto.
    EXPECT_NE(ControlNamed("Stroke Length").explanation.find("-10000 to 10000"), std::string::npos);
    EXPECT_NE(ControlNamed("Texture Offset").explanation.find("0 to 360 degrees"), std::string::npos);
    EXPECT_NE(ControlNamed("Texture Source").explanation.find("Original Frame from 0.5"), std::string::npos);
}

TEST(Frei0rParams, SlidersAndAnglesMapLinearlyWithExactEnds)
{
    EXPECT_EQ(std::get<double>(ControlValue(ControlNamed("Fade Out"), 0.5, 0, 64, 64)), 50.0);
    const Control& stroke = ControlNamed("Stroke Length");
    EXPECT_EQ(std::get<double>(ControlValue(stroke, 0.0, 0, 64, 64)), -10000.0);
    EXPECT_EQ(std::get<double>(ControlValue(stroke, 1.0, 0, 64, 64)), 10000.0);
    EXPECT_EQ(std::get<double>(ControlValue(stroke, 0.5, 0, 64, 64)), 0.0);
    EXPECT_EQ(std::get<double>(ControlValue(ControlNamed("Texture Offset"), 0.25, 0, 64, 64)), 90.0);
    // Back again, for the values a tool reads before it sets any.
    EXPECT_EQ(Frei0rValue(stroke, -150.0, 64, 64).first, 0.4925);
}

TEST(Frei0rParams, PopupsCutZeroToOneIntoEqualPartsInEntryOrder)
{
    const Control& source = ControlNamed("Texture Source");
    ASSERT_EQ(source.entries.size(), 2u);
    const auto entry = [&](double v) { return std::get<double>(ControlValue(source, v, 0, 64, 64)); };
    EXPECT_EQ(entry(0.0), 1.0);
    EXPECT_EQ(entry(0.4999), 1.0);
    EXPECT_EQ(entry(0.5), 2.0);
    EXPECT_EQ(entry(1.0), 2.0);
    EXPECT_EQ(entry(7.0), 2.0);
    EXPECT_EQ(entry(-1.0), 1.0);
    EXPECT_EQ(entry(std::numeric_limits<double>::quiet_NaN()), 1.0);
    // An entry read back lies in the middle of its part, and maps to itself.
    EXPECT_EQ(entry(Frei0rValue(source, 2.0, 64, 64).first), 2.0);
    EXPECT_EQ(Frei0rValue(source, 1.0, 64, 64).first, 0.25);
}

TEST(Frei0rParams, PointsAcrossAndDownTheFrameCheckboxesAboveHalf)
{
    const auto point = std::get<harness::PointValue>(ControlValue(ControlNamed("Point"), 0.5, 0.25, 640, 360));
    EXPECT_EQ(point.x, 320.0);
    EXPECT_EQ(point.y, 90.0);
    EXPECT_TRUE(std::get<bool>(ControlValue(ControlNamed("Mirror X"), 1.0, 0, 64, 64)));
    EXPECT_FALSE(std::get<bool>(ControlValue(ControlNamed("Mirror X"), 0.0, 0, 64, 64)));
}

TEST(Frei0rControls, InlineItemsAreTrimmedAndEmptyOnesSkipped)
{
    EXPECT_EQ(SplitControls(" Stroke Length=-60 ;;Mirror X=true;"),
              (std::vector<std::string>{"Stroke Length=-60", "Mirror X=true"}));
    EXPECT_TRUE(SplitControls("  ").empty());
    const auto params = ParseControls("Stroke Length=-60;Mirror X=true;Stroke Length=-70", fs::path());
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0].name, "Stroke Length");
    EXPECT_EQ(std::get<double>(params[0].value), -70.0); // the later one replaces it
    EXPECT_EQ(std::get<bool>(params[1].value), true);
    EXPECT_TRUE(ParseControls("", fs::path()).empty());
    EXPECT_THROW(ParseControls("Stroke Length", fs::path()), SettingsError);
    EXPECT_THROW(ParseControls("=4", fs::path()), SettingsError);
}

TEST_F(TempFolder, ControlsFromAFileTakeKeyframes)
{
    write("controls.json", R"({"Mirror X": true, "Texture Offset": {"keys": [[0, 0], [2, 360]]}})");
    const auto params = ParseControls("@controls.json", folder_);
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[1].name, "Texture Offset");
    EXPECT_EQ(params[1].keys.size(), 2u);
    write("list.json", "[1, 2]");
    write("broken.json", "{\"Mirror X\": ");
    // Read as scene files are: a key given twice, a number beyond double.
    write("twice.json", "{\"Mirror X\": true, \"Mirror X\": false}");
    write("huge.json", "{\"Fade In\": 1e400}");
    for (const char* text : {"@list.json", "@broken.json", "@missing.json", "@twice.json", "@huge.json"}) {
        try {
            ParseControls(text, folder_);
            ADD_FAILURE() << text << " was taken";
        } catch (const SettingsError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("Controls: ", 0), 0u) << message;
            EXPECT_NE(message.find(std::string(text).substr(1)), std::string::npos) << "the file is not named: " << message;
        }
    }
}

TEST_F(TempFolder, MasksFromPathDataSceneFilesAndMaskObjects)
{
    EXPECT_FALSE(ParseMask("   ", folder_).has_value());
    const auto svg = ParseMask("M 10 10 C 20 0 30 0 40 10 Z", folder_);
    ASSERT_TRUE(svg.has_value());
    EXPECT_TRUE(svg->isClosed());

    // A scene file gives its mask, with the transform.
    write("scene.json", R"({"size": [64, 64], "mask": {"rect": [0, 0, 10, 10], "transform": [1, 0, 0, 1, 5, 7]}})");
    const auto scene = ParseMask("@scene.json", folder_);
    ASSERT_TRUE(scene.has_value());
    EXPECT_EQ(scene->vertices()[0].position.x, 5.0);
    EXPECT_EQ(scene->vertices()[0].position.y, 7.0);
    // A mask object alone.
    write("circle.json", R"({"circle": [32, 32, 10]})");
    const auto circle = ParseMask("@circle.json", folder_);
    ASSERT_TRUE(circle.has_value());
    EXPECT_EQ(circle->vertices().size(), 4u);

    write("two.json", R"({"circle": [32, 32, 10], "rect": [0, 0, 1, 1]})");
    for (const char* text : {"M 10 10 L oops", "M 0 0 L 1 1 M 2 2 L 3 3", "@two.json", "@nothing.json"}) {
        try {
            ParseMask(text, folder_);
            ADD_FAILURE() << text << " was taken";
        } catch (const SettingsError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Mask: ", 0), 0u) << e.what();
        }
    }
}

} // namespace
