// Scene files: every key, the mask forms, parameter values and keys, render
// settings, command-line settings, output names, and clear errors, checked
// against the effect's own parameters in an in-process host.
#include "harness/scenes/Scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "harness/protocol/EffectEntry.h"
#include "harness/images/Images.h"

namespace harness {
namespace {

namespace fs = std::filesystem;

Scene Parse(const std::string& text)
{
    return ParseScene(text, "scene.json", fs::path("/scenes"));
}

// The message of the SceneError that parsing `text` throws.
std::string ParseError(const std::string& text)
{
    try {
        Parse(text);
    } catch (const SceneError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(SceneTest, ReadsEveryKey)
{
    const Scene scene = Parse(R"({
      "size": [640, 360],
      "input": "frame.png",
      "mask": {"closed": true, "points": [[100, 80], [540, 80], [320, 300]]},
      "params": {
        "Stroke Length": -150,
        "Specified Layer": "texture.png",
        "Mirror X": true,
        "Texture Source": "Original Frame",
        "Texture Offset": {"keys": [[0.0, 0], [2.0, 360]]},
        "Point": [320, 180]
      },
      "render": {"bit_depth": 16, "downsample": [1, 2, 1, 4], "time": 0.5, "fps": 25,
                 "frames": [2, 5], "threads": 3, "app": "PrMr"},
      "output": "out/frame.png"
    })");
    EXPECT_EQ(scene.size, (std::pair<A_long, A_long>{640, 360}));
    EXPECT_EQ(scene.input.file, fs::path("/scenes/frame.png"));
    ASSERT_TRUE(scene.mask.has_value());
    EXPECT_EQ(scene.mask->segmentCount(), 3);
    ASSERT_EQ(scene.params.size(), 6u);
    EXPECT_EQ(scene.params[0].name, "Stroke Length");
    EXPECT_EQ(std::get<double>(scene.params[0].value), -150.0);
    EXPECT_EQ(std::get<std::string>(scene.params[1].value), "texture.png");
    EXPECT_EQ(scene.params[1].base, fs::path("/scenes"));
    EXPECT_TRUE(std::get<bool>(scene.params[2].value));
    ASSERT_EQ(scene.params[4].keys.size(), 2u);
    EXPECT_EQ(scene.params[4].keys[1].first, 2.0);
    EXPECT_EQ(std::get<double>(scene.params[4].keys[1].second), 360.0);
    EXPECT_EQ(std::get<PointValue>(scene.params[5].value).y, 180.0);
    EXPECT_EQ(scene.render.bitDepth, 16);
    EXPECT_EQ(scene.render.downsample.nx, 1);
    EXPECT_EQ(scene.render.downsample.dx, 2u);
    EXPECT_EQ(scene.render.downsample.dy, 4u);
    EXPECT_EQ(scene.render.time, 0.5);
    EXPECT_EQ(scene.render.fps, 25.0);
    EXPECT_EQ(scene.render.firstFrame, 2);
    EXPECT_EQ(scene.render.lastFrame, 5);
    EXPECT_EQ(scene.render.threads, 3);
    EXPECT_EQ(scene.render.applId, kApplIdEditor);
    // The output is the user's, relative to the current folder, not the scene's.
    EXPECT_EQ(scene.output, "out/frame.png");

    // Defaults: a gradient input, no mask, 8-bit, full resolution, frame 0.
    const Scene bare = Parse(R"({"size": [8, 8]})");
    EXPECT_EQ(bare.input.pattern, "gradient");
    EXPECT_FALSE(bare.mask.has_value());
    EXPECT_EQ(bare.render.bitDepth, 8);
    EXPECT_EQ(bare.render.downsample.dx, 1u);
    EXPECT_EQ(bare.render.lastFrame, 0);
}

TEST(SceneTest, EveryMaskForm)
{
    const MaskPath vertices =
        *Parse(R"({"mask": {"vertices": [[0, 0], [10, 0]], "in": [[0, 0], [-2, 1]], "out": [[3, 0], [0, 0]],
                             "closed": false}})")
             .mask;
    EXPECT_FALSE(vertices.isClosed());
    EXPECT_EQ(vertices.vertices()[0].out.x, 3.0);
    EXPECT_EQ(vertices.vertices()[1].in.y, 1.0);

    const MaskPath circle = *Parse(R"({"mask": {"circle": [50, 40, 10]}})").mask;
    EXPECT_EQ(circle.vertices()[0].position.y, 30.0);
    const MaskPath ellipse = *Parse(R"({"mask": {"ellipse": [50, 40, 10, 5]}})").mask;
    EXPECT_EQ(ellipse.vertices()[1].position.x, 60.0);
    const MaskPath rect = *Parse(R"({"mask": {"rect": [1, 2, 3, 4], "closed": false}})").mask;
    EXPECT_EQ(rect.segmentCount(), 3);
    const MaskPath svg = *Parse(R"({"mask": {"svg": "M 0 0 L 4 0 L 4 4 Z M 9 9 L 10 10", "subpath": 1}})").mask;
    EXPECT_EQ(svg.vertices()[0].position.x, 9.0);
    EXPECT_FALSE(svg.isClosed());

    // The transform applies to vertices and handles: scale 2, then move.
    const MaskPath placed = *Parse(R"({"mask": {"circle": [0, 0, 1], "transform": [2, 0, 0, 2, 100, 50]}})").mask;
    EXPECT_EQ(placed.vertices()[0].position.x, 100.0);
    EXPECT_EQ(placed.vertices()[0].position.y, 48.0);
    EXPECT_EQ(placed.vertices()[0].out.x, 2 * 0.5522847498);
}

TEST(SceneTest, ErrorsNameTheFileTheKeyAndTheReason)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {R"({"size": [64, 64], "colour": 3})",
         "scene.json: \"colour\": unknown key \"colour\" (known here: size, input, mask, params, render, output)"},
        {R"({"render": {"bitdepth": 8}})",
         "scene.json: render.bitdepth: unknown key \"bitdepth\" (known here: bit_depth, downsample, time, fps, "
         "frames, threads, app)"},
        {R"({"render": {"bit_depth": 12}})", "scene.json: render.bit_depth: must be 8, 16 or 32 (float), not 12"},
        {R"({"render": {"downsample": [2, 1]}})",
         "scene.json: render.downsample: a render scale cannot enlarge: n must not exceed d"},
        {R"({"render": {"downsample": [1, 2, 3]}})",
         "scene.json: render.downsample: must be [n, d] or [nx, dx, ny, dy], not a list of 3"},
        {R"({"render": {"frames": [4, 2]}})", "scene.json: render.frames: the last frame comes before the first"},
        {R"({"render": {"app": "XYZ"}})", "scene.json: render.app: must be \"FXTC\" or \"PrMr\", not \"XYZ\""},
        {R"({"size": [0, 10]})", "scene.json: size[0]: 0 lies outside 1 to 30000"},
        {R"({"input": {"pattern": "plasma"}})",
         "scene.json: input.pattern: unknown pattern \"plasma\" (known: gradient, checker)"},
        {R"({"mask": {"circle": [1, 2, 3], "rect": [0, 0, 1, 1]}})",
         "scene.json: mask: takes one shape, not circle and rect"},
        {R"({"mask": {"circle": [1, 2, -3]}})",
         "scene.json: mask.circle: the radius must be greater than 0, not -3"},
        {R"({"mask": {"ellipse": [1, 2, 3, 0]}})",
         "scene.json: mask.ellipse: an ellipse needs radii greater than 0, not 3 and 0"},
        {R"({"mask": {"svg": "M 0 0 L 1 1 M 5 5 L 6 6"}})",
         "scene.json: mask.svg: path data has 2 subpaths; choose one with \"subpath\" (0 to 1)"},
        {R"({"mask": {"svg": "M 0 0 L 1 1 Z", "closed": false}})",
         "scene.json: mask: \"closed\" does not apply to \"svg\": path data closes a subpath with Z"},
        {R"({"mask": {"points": [[0, 0], [1]]}})", "scene.json: mask.points[1]: must be a list of 2 numbers, not a list of 1"},
        {R"({"params": {"Scale X": {"keys": [[1, 2], [0.5, 3]]}}})",
         "scene.json: params.\"Scale X\".keys[1]: keys must be in increasing time order"},
        {R"({"params": {"Scale X": {"key": [[1, 2]]}}})",
         "scene.json: params.\"Scale X\": an object here is {\"keys\": [[seconds, value], ...]} or {\"pattern\": NAME}"},
        {R"({"size": [8, 8], "size": [9, 9]})", "scene.json: the key \"size\" is given twice in one object"},
        {R"({"size": [8, 8], "output": "a.png\u0000/sub/b.png"})",
         "scene.json: line 1, column 34: a text holds the character \\u0000, which no name or text may contain"},
        {R"([1, 2])", "scene.json: a scene is a JSON object {...}, not a list of 2"},
    };
    for (const auto& [text, message] : cases)
        EXPECT_EQ(ParseError(text), message) << text;
}

TEST(SceneTest, BadJsonGivesLineAndColumn)
{
    const std::string message = ParseError("{\n  \"size\": [64, 64],\n  \"mask\": {\"circle\" [1, 2, 3]}\n}\n");
    EXPECT_EQ(message.rfind("scene.json: line 3, column 21: not valid JSON: ", 0), 0u) << message;
    const std::string end = ParseError("{\"size\": [64, 64]");
    EXPECT_EQ(end.rfind("scene.json: line 1, column 18: not valid JSON: ", 0), 0u) << end;
    // A missing comma: the column of the text that follows it.
    const std::string comma = ParseError("{\"size\": [64, 64]\n \"input\": \"a.png\"}");
    EXPECT_EQ(comma.rfind("scene.json: line 2, column 2: not valid JSON: ", 0), 0u) << comma;
    const std::string literal = ParseError("{\"size\": [64, 64],\n\"mask\": nul}");
    EXPECT_EQ(literal.rfind("scene.json: line 2, column 9: not valid JSON: ", 0), 0u) << literal;
}

TEST(SceneTest, NumberBeyondDoubleNamesItsLine)
{
    EXPECT_EQ(ParseError("{\"size\": [64, 64],\n \"render\": {\"time\": 1e400}}"),
              "scene.json: line 2, column 21: the number 1e400 is too large (beyond the range of a double)");
}

// Frame numbers, frame rate and start time together must give every frame a
// time the host's 32-bit time value holds.
TEST(SceneTest, FramesAndTimesMustFitTheHostsTime)
{
    const std::vector<std::pair<std::string, std::string>> refused{
        {R"({"render": {"frames": [0, 1000000]}})", "scene.json: render.frames[1]: 1000000 lies outside 0 to 999999"},
        {R"({"render": {"time": 89479}})",
         "scene.json: render.time: frame 0 falls at 89479 s, but the host counts time in 32 bits at 24000 steps per "
         "second, so frames must lie within 89478 s of time 0"},
        {R"({"render": {"time": -89479.2}})", "scene.json: render.time: frame 0 falls at -89479.2 s"},
        {R"({"render": {"fps": 1000, "time": 1200, "frames": [0, 999999]}})",
         "scene.json: render.frames: frame 999999 falls at 2200 s, but the host counts time in 32 bits at "
         "1000000 steps per second, so frames must lie within 2147 s of time 0"},
        {R"({"render": {"fps": 1e-300}})",
         "scene.json: render.fps: 1e-300 gives no usable time scale (the host counts time in steps of 1/(fps x "
         "1000) s); the lowest frame rate is 0.0005"},
        {R"({"render": {"fps": 0.0004}})", "scene.json: render.fps: 0.0004 gives no usable time scale"},
    };
    for (const auto& [text, message] : refused) {
        const std::string error = ParseError(text);
        EXPECT_EQ(error.rfind(message, 0), 0u) << text << "\n" << error;
    }
    // The edges that still fit.
    EXPECT_EQ(Parse(R"({"render": {"time": 89478}})").render.time, 89478.0);
    EXPECT_EQ(Parse(R"({"render": {"fps": 24, "frames": [0, 999999]}})").render.lastFrame, 999999);
    EXPECT_EQ(Parse(R"({"render": {"fps": 0.001}})").render.fps, 0.001);

    RenderSettings r;
    r.firstFrame = 2147483646;
    r.lastFrame = 2147483647;
    EXPECT_NE(FrameTimeProblem(r).find("frames count from 0 to 999999"), std::string::npos);
    r = RenderSettings{};
    EXPECT_EQ(FrameTimeProblem(r), "");
}

TEST(SceneTest, CommandLineSettingsReadJsonOrText)
{
    Scene scene = Parse(R"({"params": {"Stroke Length": -150}})");
    AddSetting(scene, "Stroke Length=-80", "/cwd");
    AddSetting(scene, "Mirror X=true", "/cwd");
    AddSetting(scene, "Texture Source=Original Frame", "/cwd");
    AddSetting(scene, "Point=[10, 20.5]", "/cwd");
    AddSetting(scene, "Specified Layer=tex.png", "/cwd");
    AddSetting(scene, R"(Texture Offset={"keys": [[0, 0], [1, 90]]})", "/cwd");
    ASSERT_EQ(scene.params.size(), 6u);
    EXPECT_EQ(std::get<double>(scene.params[0].value), -80.0); // replaced, not added
    EXPECT_TRUE(std::get<bool>(scene.params[1].value));
    EXPECT_EQ(std::get<std::string>(scene.params[2].value), "Original Frame");
    EXPECT_EQ(std::get<PointValue>(scene.params[3].value).y, 20.5);
    EXPECT_EQ(scene.params[4].base, fs::path("/cwd"));
    EXPECT_EQ(scene.params[5].keys.size(), 2u);
    EXPECT_THROW(AddSetting(scene, "no equals sign", "/cwd"), SceneError);
    const std::vector<std::pair<std::string, std::string>> refused{
        {"Fade In=1e400", "--set \"Fade In=1e400\": the number 1e400 is too large (beyond the range of a double)"},
        {R"(Specified Layer="a.png\u0000b")",
         R"(--set "Specified Layer="a.png\u0000b"": a text holds the character \u0000, which no name or text may contain)"},
    };
    for (const auto& [assignment, message] : refused) {
        try {
            AddSetting(scene, assignment, "/cwd");
            ADD_FAILURE() << assignment << " was taken";
        } catch (const SceneError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
    // Text that merely starts like a large number is text.
    AddSetting(scene, "Specified Layer=1e999.png", "/cwd");
    EXPECT_EQ(std::get<std::string>(scene.params[4].value), "1e999.png");
}

TEST(SceneTest, DownsampleTextAndOutputNames)
{
    const Downsample half = ParseDownsample("1/2");
    EXPECT_EQ(half.nx, 1);
    EXPECT_EQ(half.dx, 2u);
    EXPECT_EQ(half.dy, 2u);
    const Downsample mixed = ParseDownsample("1/2,1/4");
    EXPECT_EQ(mixed.dx, 2u);
    EXPECT_EQ(mixed.dy, 4u);
    for (const char* bad : {"2", "3/2", "0/1", "1/2,", "a/b", "1/2x"})
        EXPECT_THROW(ParseDownsample(bad), std::invalid_argument) << bad;

    EXPECT_EQ(FrameOutputPath("out/demo.png", 0, false), "out/demo.png");
    EXPECT_EQ(FrameOutputPath("out/demo.png", 1, true), "out/demo_0001.png");
    EXPECT_EQ(FrameOutputPath("out/f_###_x.exr", 7, true), "out/f_007_x.exr");
    EXPECT_EQ(FrameOutputPath("#.png", 12345, true), "12345.png");
    EXPECT_EQ(FrameOutputPath("frame##.png", 3, false), "frame03.png");

    Scene scene = Parse("{}");
    EXPECT_EQ(DefaultOutputPath(scene, "here"), "here/scene.png");
    scene.render.bitDepth = 32;
    EXPECT_EQ(DefaultOutputPath(scene, "here"), "here/scene.exr");
}

TEST(SceneTest, DemoSceneFileMatchesTheBuiltInScene)
{
    std::ifstream file(std::string(LINESTRA_SOURCE_DIR) + "/scenes/demo.json");
    ASSERT_TRUE(file) << "scenes/demo.json is missing";
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), DemoSceneText());
    const Scene demo = DemoScene();
    EXPECT_EQ(demo.input.pattern, "gradient");
    ASSERT_TRUE(demo.mask.has_value());
    EXPECT_EQ(demo.mask->segmentCount(), 4);
    ASSERT_EQ(demo.params.size(), 1u);
    EXPECT_EQ(demo.params[0].name, "Specified Layer");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(demo.params[0].value));
}

// ---------------------------------------------------------------------------
// Applying scenes to a host running the effect
// ---------------------------------------------------------------------------

class SceneApplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_.load(LinkedEffect());
        ASSERT_EQ(host_.setup(), PF_Err_NONE);
        folder_ = fs::temp_directory_path() /
                  ("linestra-scene-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string applyError(const std::string& text)
    {
        try {
            ApplyScene(ParseScene(text, "scene.json", folder_), host_);
        } catch (const SceneError& e) {
            return e.what();
        }
        return "(no error)";
    }

    Host host_;
    fs::path folder_;
};

TEST_F(SceneApplyTest, ValuesReachTheHost)
{
    const Scene scene = ParseScene(R"({
      "size": [64, 32],
      "input": {"pattern": "checker", "cell": 4},
      "mask": {"rect": [8, 8, 40, 16]},
      "params": {"Stroke Length": 25, "Texture Source": "Original Frame", "Mirror X": true,
                 "Texture Offset": {"keys": [[0, 0], [2, 360]]}, "Point": [10, 12],
                 "Specified Layer": {"pattern": "gradient", "size": [16, 16]}}
    })",
                                   "scene.json", folder_);
    ApplyScene(scene, host_);
    EXPECT_EQ(host_.layerWidth(), 64);
    EXPECT_EQ(host_.layerHeight(), 32);
    const auto at = [this](const char* name, double seconds) { return host_.paramAt(host_.paramIndex(name), seconds); };
    EXPECT_EQ(at("Stroke Length", 0).u.fs_d.value, 25.0);
    EXPECT_EQ(at("Texture Source", 0).u.pd.value, 2);
    EXPECT_EQ(at("Mirror X", 0).u.bd.value, 1);
    EXPECT_EQ(at("Texture Offset", 1.0).u.ad.value, 180 * 65536);
    EXPECT_EQ(at("Point", 0).u.td.x_value, 10 * 65536);
    EXPECT_NE(at("Path", 0).u.path_d.path_id, 0u);
}

TEST_F(SceneApplyTest, ErrorsNameTheParameterAndTheFile)
{
    std::ofstream(folder_ / "broken.png") << "not a picture";
    const std::string missing = (folder_ / "missing.png").string();
    const std::string broken = (folder_ / "broken.png").string();
    const std::vector<std::pair<std::string, std::string>> cases{
        {R"({"size": [8, 8], "params": {"Strok Length": 3}})",
         "scene.json: params: the effect has no parameter named 'Strok Length'"},
        {R"({"size": [8, 8], "params": {"Stroke Length": 20000}})",
         "scene.json: params: 'Stroke Length': 20000 lies outside the valid range -10000 to 10000"},
        {R"({"size": [8, 8], "params": {"Scale X": 0.0005}})", "scene.json: params: 'Scale X': "},
        {R"({"size": [8, 8], "params": {"Texture Source": "Texture"}})",
         "scene.json: params: 'Texture Source' has no entry 'Texture'"},
        {R"({"size": [8, 8], "params": {"Texture Origin": 3}})",
         "scene.json: params: 'Texture Origin': 3 is not a choice (1 to 2)"},
        {R"({"size": [8, 8], "params": {"Mirror X": "yes"}})", "scene.json: params: 'Mirror X' is a checkbox"},
        {R"({"size": [8, 8], "params": {"Path": 1}})",
         "scene.json: params: Path is chosen by the scene's \"mask\", not set as a value"},
        {R"({"size": [8, 8], "params": {"Specified Layer": {"keys": [[0, null]]}}})",
         "scene.json: params: Specified Layer is a layer and cannot be animated with keys"},
        {R"({"input": "missing.png"})", "scene.json: input: image file \"" + missing + "\" does not exist"},
        {R"({"input": "broken.png"})", "scene.json: input: cannot read image \"" + broken + "\": "},
        {R"({"size": [8, 8], "params": {"Specified Layer": "missing.png"}})",
         "scene.json: params: image file \"" + missing + "\" does not exist"},
        {R"({"input": {"pattern": "gradient"}})", "scene.json: size: needed when the input is a generated picture"},
    };
    for (const auto& [text, start] : cases) {
        const std::string message = applyError(text);
        EXPECT_EQ(message.rfind(start, 0), 0u) << text << "\n  gave: " << message;
    }
    // Scale X 0.001 is accepted: it is checked as the float it becomes.
    EXPECT_EQ(applyError(R"({"size": [8, 8], "params": {"Scale X": 0.001}})"), "(no error)");
}

TEST_F(SceneApplyTest, InputImageGivesTheLayerSize)
{
    OwnedWorld picture(20, 10, PF_PixelFormat_ARGB32);
    WriteImage(picture, (folder_ / "frame.png").string());
    ApplyScene(ParseScene(R"({"input": "frame.png"})", "scene.json", folder_), host_);
    EXPECT_EQ(host_.layerWidth(), 20);
    EXPECT_EQ(host_.layerHeight(), 10);
    EXPECT_EQ(applyError(R"({"size": [30, 10], "input": "frame.png"})"),
              "scene.json: size: [30, 10] differs from the input image's 20 x 10");
}

} // namespace
} // namespace harness
