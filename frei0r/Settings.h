// What the frei0r modules read from their parameters: the Mask and Controls
// texts, and the table of the effect's controls as frei0r parameters with
// the mapping of frei0r's 0 to 1 values onto each control's own units.
//
// Nothing here touches a frame; the instance (Instance.h) applies the
// results to its host.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostAPI.h"
#include "harness/masks/MaskPath.h"
#include "harness/scenes/Scene.h"
#include "harness/state/Host.h"

namespace linestra_frei0r {

// A text that cannot be used; the message says which parameter and why.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The Mask parameter: SVG path data in frame pixels, or "@FILE.json" naming
// a scene file (its "mask" object is used) or a file holding a mask object
// alone, with any of the shapes and the transform a scene's mask takes.
// Empty (or only blanks): no mask. Relative file names start at `base`.
std::optional<harness::MaskPath> ParseMask(const std::string& text, const std::filesystem::path& base);

// The Controls parameter: "NAME=VALUE;NAME=VALUE" with each item read as
// linestra-render --set reads it, or "@FILE.json" naming a JSON object of
// names and values (as a scene's "params", keyframes included). Empty
// items are skipped. Later items replace earlier ones of the same name.
std::vector<harness::SceneParam> ParseControls(const std::string& text, const std::filesystem::path& base);

// The items of an inline Controls text, trimmed, empty ones left out.
std::vector<std::string> SplitControls(const std::string& text);

// frei0r parameter types (frei0r.h's F0R_PARAM_*), kept here so that this
// part needs no frei0r header.
enum class Frei0rType { Bool = 0, Double = 1, Position = 3, String = 4 };

// One control of the effect as a frei0r parameter.
struct Control {
    std::string name;        // as the effect shows it; also the frei0r name
    int index = 0;           // the host's parameter index
    PF_ParamType type = 0;   // the effect's parameter type
    Frei0rType frei0rType = Frei0rType::Double;
    double minimum = 0;      // float slider: the slider's range
    double maximum = 0;
    std::vector<std::string> entries; // popup entries in order
    std::string explanation; // the frei0r explanation: range and mapping
};

// The effect's controls that become frei0r parameters, in the effect's
// order: float sliders, angles, checkboxes, popups and points. The path
// (Mask), the layer (Texture) and group markers are not among them.
std::vector<Control> ControlsOf(const harness::Host& host);

// A frei0r value (0 to 1 per axis; x only for one number) as the control's
// value: linear onto the slider range (0 is its minimum, 1 its maximum),
// 0 to 1 as 0 to 360 degrees for an angle, above 0.5 as on for a
// checkbox, equal parts in entry order for a popup, and across and down
// the frame of `width` x `height` pixels for a point.
harness::ParamValue ControlValue(const Control& control, double x, double y, int width, int height);

// The frei0r value of a control's value (the inverse of ControlValue), for
// the values a host reads back before it sets any.
std::pair<double, double> Frei0rValue(const Control& control, const harness::ParamValue& value, int width,
                                      int height);

// The value a definition holds (its default, for a definition as added).
harness::ParamValue DefinitionValue(const PF_ParamDef& def);

} // namespace linestra_frei0r
