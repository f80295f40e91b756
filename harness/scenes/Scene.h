// Scene files: what linestra-render renders. A scene names the layer (its
// size and picture), the mask, parameter values (constant or keyframed) and
// the render settings; reading one checks every key, and applying it to a
// host checks every value against the parameters the effect declared.
//
//     {
//       "size": [640, 360],
//       "input": "frame.png"  or  {"pattern": "gradient"},
//       "mask": {"circle": [320, 180, 120]},
//       "params": {"Stroke Length": -150, "Texture Offset": {"keys": [[0, 0], [2, 360]]}},
//       "render": {"bit_depth": 8, "downsample": [1, 1], "time": 0, "fps": 24,
//                  "frames": [0, 0], "threads": 0, "app": "FXTC"},
//       "output": "out.png"
//     }
//
// File names the scene reads (input, layer pictures) are relative to the
// scene file's folder; `output` is relative to the current folder.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "harness/state/Host.h"
#include "harness/masks/MaskPath.h"

namespace harness {

// A scene that cannot be read or applied; the message names the file, the
// key or parameter, and the reason.
class SceneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A picture as a scene names it: an image file or a generated pattern.
struct PictureSpec {
    std::filesystem::path file; // resolved; empty for a pattern
    std::string pattern;        // "gradient", "checker"
    A_long cell = 0;            // checker square size; 0: automatic
    std::optional<std::pair<A_long, A_long>> size; // pattern size; default: the layer's
};

// One value as a scene gives it, before the parameter's type is known:
// null, true/false, a number, [x, y], a text (popup entry or file name), or
// a generated picture.
using SceneValue = std::variant<std::monostate, bool, double, PointValue, std::string, PictureSpec>;

struct SceneParam {
    std::string name;
    std::string where;           // for messages: "params" or "--set"
    std::filesystem::path base;  // folder that relative file names start from
    std::vector<std::pair<double, SceneValue>> keys; // animated when not empty
    SceneValue value;            // when not animated
};

struct RenderSettings {
    int bitDepth = 8;
    Downsample downsample{};
    double time = 0.0; // seconds of frame 0
    double fps = 24.0;
    int firstFrame = 0;
    int lastFrame = 0;
    int threads = 0; // 0: all cores
    A_long applId = kApplIdCompositor;
};

struct Scene {
    std::string file;              // the scene file as given, or the demo's name
    std::filesystem::path folder;  // relative names start here
    std::optional<std::pair<A_long, A_long>> size;
    PictureSpec input;
    std::optional<MaskPath> mask;  // none: Path stays 0
    std::vector<SceneParam> params;
    RenderSettings render;
    std::string output;            // as given (relative to the current folder); empty: not given
};

// Reads a scene file. Throws SceneError (bad JSON with line and column,
// unknown keys, values of the wrong kind or out of their range).
Scene LoadScene(const std::string& path);

// Reads scene text; `file` names it in messages, `folder` resolves names.
Scene ParseScene(const std::string& text, const std::string& file, const std::filesystem::path& folder);

// Checks JSON text as scene files are read: throws SceneError, naming `file`
// and where, for bad JSON, a key given twice in one object, a number beyond
// the range of a double or a text holding \u0000.
void CheckSceneJson(const std::string& text, const std::string& file);

// The built-in demo scene: a generated gradient, a circular mask and the
// effect's built-in placeholder texture (Specified Layer none).
Scene DemoScene();
// Its text, as scenes/demo.json holds it too.
const std::string& DemoSceneText();

// A command-line setting "NAME=VALUE": VALUE is read as JSON when it is
// (numbers, true/false, [x, y], null, {"keys": ...}) and as text otherwise;
// file names are relative to `base`. Replaces a scene value of that name.
void AddSetting(Scene& scene, const std::string& assignment, const std::filesystem::path& base);

// Parses "N/D" or "NX/DX,NY/DY" (also "N:D"); throws std::invalid_argument.
Downsample ParseDownsample(const std::string& text);

// What keeps the render settings' frames from being rendered: a frame
// outside 0..kMaxFrame, the last before the first, or a frame whose time
// (time + k / fps) does not fit the host's 32-bit time. Empty when none.
std::string FrameTimeProblem(const RenderSettings& render);

// Options of the host that renders the scene (app, threads, frame rate).
HostOptions SceneHostOptions(const Scene& scene);

// Sets the host's input, mask, parameters and layers from the scene. The
// host must have run its set-up (the parameters are known). Reads every
// image now, so that a bad file stops the run before anything renders.
void ApplyScene(const Scene& scene, Host& host);

// The layer size the scene gives: `size`, or the input image's size.
std::pair<A_long, A_long> SceneLayerSize(const Scene& scene);

// Output file of frame `frame`: a run of '#' in the name becomes the frame
// number padded to the run's length; otherwise, when `numbered`, "_0001"
// goes before the extension.
std::string FrameOutputPath(const std::string& output, int frame, bool numbered);

// The output name when neither the scene nor the command line gives one:
// the scene's name with .png (.exr for a float render), in `folder`.
std::string DefaultOutputPath(const Scene& scene, const std::filesystem::path& folder);

} // namespace harness
