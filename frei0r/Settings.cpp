#include "frei0r/Settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace linestra_frei0r {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// "@name" as a file path, relative names from `base`.
fs::path FileOf(const std::string& text, const fs::path& base)
{
    const fs::path name(Trim(text.substr(1)));
    return name.is_absolute() || base.empty() ? name : base / name;
}

// A JSON object read from a file; `what` names the parameter in messages.
json ReadJsonObject(const fs::path& path, const std::string& what)
{
    std::error_code ec;
    if (path.empty() || !fs::is_regular_file(path, ec))
        throw SettingsError(what + ": no such file " + path.string());
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in)
        throw SettingsError(what + ": cannot read " + path.string());
    // Read as scene files are: a key given twice or a number beyond double
    // is refused with its place, not taken silently or reported without it.
    try {
        harness::CheckSceneJson(text.str(), path.string());
    } catch (const harness::SceneError& e) {
        throw SettingsError(what + ": " + e.what());
    }
    const json document = json::parse(text.str());
    if (!document.is_object())
        throw SettingsError(what + ": " + path.string() + " must hold a JSON object {...}");
    return document;
}

std::vector<std::string> PopupEntries(const char* names)
{
    std::vector<std::string> entries;
    if (names == nullptr)
        return entries;
    std::string entry;
    for (const char* c = names; *c != '\0'; ++c) {
        if (*c == '|') {
            entries.push_back(entry);
            entry.clear();
        } else {
            entry += *c;
        }
    }
    entries.push_back(entry);
    return entries;
}

// The slider ranges are floats: seven digits say them as declared.
std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return text;
}

} // namespace

std::optional<harness::MaskPath> ParseMask(const std::string& text, const fs::path& base)
{
    const std::string trimmed = Trim(text);
    if (trimmed.empty())
        return std::nullopt;
    if (trimmed.front() != '@') {
        try {
            return harness::SvgPath(trimmed);
        } catch (const std::exception& e) {
            throw SettingsError(std::string("Mask: SVG path data: ") + e.what());
        }
    }
    const fs::path path = FileOf(trimmed, base);
    const json document = ReadJsonObject(path, "Mask");
    // A scene file gives its "mask"; any other object is the mask itself.
    const json wrapped = {{"mask", document.contains("mask") ? document["mask"] : document}};
    try {
        harness::Scene scene = harness::ParseScene(wrapped.dump(), path.string(), path.parent_path());
        return scene.mask;
    } catch (const harness::SceneError& e) {
        throw SettingsError(std::string("Mask: ") + e.what());
    }
}

std::vector<std::string> SplitControls(const std::string& text)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(';', start);
        std::string item = Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (!item.empty())
            items.push_back(std::move(item));
        if (end == std::string::npos)
            return items;
        start = end + 1;
    }
}

std::vector<harness::SceneParam> ParseControls(const std::string& text, const fs::path& base)
{
    const std::string trimmed = Trim(text);
    if (trimmed.empty())
        return {};
    if (trimmed.front() == '@') {
        const fs::path path = FileOf(trimmed, base);
        const json document = ReadJsonObject(path, "Controls");
        const json wrapped = {{"params", document}};
        try {
            return harness::ParseScene(wrapped.dump(), path.string(), path.parent_path()).params;
        } catch (const harness::SceneError& e) {
            throw SettingsError(std::string("Controls: ") + e.what());
        }
    }
    harness::Scene scene;
    for (const std::string& item : SplitControls(trimmed)) {
        try {
            harness::AddSetting(scene, item, base);
        } catch (const std::exception& e) {
            throw SettingsError(std::string("Controls: ") + e.what());
        }
    }
    return scene.params;
}

std::vector<Control> ControlsOf(const harness::Host& host)
{
    std::vector<Control> controls;
    for (int i = 1; i < host.paramCount(); ++i) {
        const PF_ParamDef& def = host.paramDef(i);
        Control c;
        c.name = def.name;
        c.index = i;
        c.type = def.param_type;
        switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER:
            c.minimum = static_cast<double>(def.u.fs_d.slider_min);
            c.maximum = static_cast<double>(def.u.fs_d.slider_max);
            c.explanation = "0 to 1 is " + Number(c.minimum) + " to " + Number(c.maximum) + " (linear)";
            break;
        case PF_Param_ANGLE:
            c.minimum = 0;
            c.maximum = 360;
            c.explanation = "an angle: 0 to 1 is 0 to 360 degrees";
            break;
        case PF_Param_CHECKBOX:
            c.frei0rType = Frei0rType::Bool;
            c.explanation = "on or off";
            break;
        case PF_Param_POPUP: {
            c.entries = PopupEntries(def.u.pd.u.namesptr);
            const auto n = static_cast<double>(c.entries.size());
            c.explanation = "0 to 1 in " + std::to_string(c.entries.size()) + " equal parts:";
            for (std::size_t k = 0; k < c.entries.size(); ++k)
                c.explanation += (k == 0 ? " " : ", ") + c.entries[k] + " from " +
                                 Number(static_cast<double>(k) / n);
            break;
        }
        case PF_Param_POINT:
            c.frei0rType = Frei0rType::Position;
            c.explanation = "0 to 1 across and down the frame";
            break;
        default:
            continue; // path, layer, groups: not a frei0r parameter
        }
        controls.push_back(std::move(c));
    }
    return controls;
}

harness::ParamValue ControlValue(const Control& control, double x, double y, int width, int height)
{
    switch (control.type) {
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_ANGLE:
        // The ends land exactly on the range's ends.
        if (x == 0.0)
            return control.minimum;
        if (x == 1.0)
            return control.maximum;
        return control.minimum + x * (control.maximum - control.minimum);
    case PF_Param_CHECKBOX:
        return x > 0.5;
    case PF_Param_POPUP: {
        const auto n = static_cast<double>(control.entries.size());
        double part = std::floor(x * n);
        if (!(part >= 0))
            part = 0; // also not a number
        part = std::min(part, n - 1);
        return part + 1; // the host's popups count from 1
    }
    case PF_Param_POINT:
        return harness::PointValue{x * width, y * height};
    default:
        throw std::invalid_argument(control.name + " takes no frei0r value");
    }
}

std::pair<double, double> Frei0rValue(const Control& control, const harness::ParamValue& value, int width,
                                      int height)
{
    const double* number = std::get_if<double>(&value);
    switch (control.type) {
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_ANGLE:
        if (number == nullptr || control.maximum == control.minimum)
            return {0, 0};
        return {(*number - control.minimum) / (control.maximum - control.minimum), 0};
    case PF_Param_CHECKBOX:
        if (const bool* flag = std::get_if<bool>(&value))
            return {*flag ? 1.0 : 0.0, 0};
        return {number != nullptr && *number != 0 ? 1.0 : 0.0, 0};
    case PF_Param_POPUP: {
        // The middle of the entry's part.
        const auto n = static_cast<double>(std::max<std::size_t>(control.entries.size(), 1));
        return {number == nullptr ? 0.0 : (*number - 0.5) / n, 0};
    }
    case PF_Param_POINT:
        if (const auto* point = std::get_if<harness::PointValue>(&value))
            return {width > 0 ? point->x / width : 0.0, height > 0 ? point->y / height : 0.0};
        return {0, 0};
    default:
        return {0, 0};
    }
}

harness::ParamValue DefinitionValue(const PF_ParamDef& def)
{
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER:
        return def.u.fs_d.value;
    case PF_Param_ANGLE:
        return static_cast<double>(def.u.ad.value) / 65536.0;
    case PF_Param_CHECKBOX:
        return def.u.bd.value != 0;
    case PF_Param_POPUP:
        return static_cast<double>(def.u.pd.value);
    case PF_Param_POINT:
        return harness::PointValue{static_cast<double>(def.u.td.x_value) / 65536.0,
                                   static_cast<double>(def.u.td.y_value) / 65536.0};
    default:
        return 0.0;
    }
}

} // namespace linestra_frei0r
