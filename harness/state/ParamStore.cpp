#include "harness/state/ParamStore.h"
#include "harness/state/Text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace harness {

namespace {

// Shortest text that reads back as the same value (a float bound 0.001f
// shows as 0.001).
template <typename Value>
std::string Number(Value value)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// Entries of a popup's "A|B|C" string.
std::vector<std::string> PopupEntries(const char* names)
{
    std::vector<std::string> entries;
    if (names == nullptr)
        return entries;
    std::string current;
    for (const char* c = names; *c != '\0'; ++c) {
        if (*c == '|') {
            entries.push_back(current);
            current.clear();
        } else {
            current += *c;
        }
    }
    entries.push_back(current);
    return entries;
}

bool NameTerminated(const PF_ParamDef& def)
{
    return std::memchr(def.name, '\0', sizeof def.name) != nullptr;
}

} // namespace

PF_Fixed ToFixed(double value, const std::string& what)
{
    const double scaled = std::round(value * 65536.0);
    if (!std::isfinite(scaled) || scaled < static_cast<double>(std::numeric_limits<A_long>::min()) ||
        scaled > static_cast<double>(std::numeric_limits<A_long>::max()))
        throw std::invalid_argument(what + ": " + Number(value) + " does not fit the host's 16.16 fixed point");
    return static_cast<PF_Fixed>(scaled);
}

std::string ParamTypeName(PF_ParamType type)
{
    switch (type) {
    case PF_Param_LAYER:
        return "layer";
    case PF_Param_SLIDER:
        return "slider";
    case PF_Param_FIX_SLIDER:
        return "fixed slider";
    case PF_Param_ANGLE:
        return "angle";
    case PF_Param_CHECKBOX:
        return "checkbox";
    case PF_Param_COLOR:
        return "color";
    case PF_Param_POINT:
        return "point";
    case PF_Param_POPUP:
        return "popup";
    case PF_Param_CUSTOM:
        return "custom";
    case PF_Param_NO_DATA:
        return "no data";
    case PF_Param_FLOAT_SLIDER:
        return "float slider";
    case PF_Param_ARBITRARY_DATA:
        return "arbitrary data";
    case PF_Param_PATH:
        return "path";
    case PF_Param_GROUP_START:
        return "group start";
    case PF_Param_GROUP_END:
        return "group end";
    case PF_Param_BUTTON:
        return "button";
    case PF_Param_POINT_3D:
        return "3D point";
    default:
        return "unknown type " + std::to_string(type);
    }
}

ParamStore::ParamStore()
{
    reset();
}

void ParamStore::reset()
{
    PF_ParamDef input{};
    input.param_type = PF_Param_LAYER;
    defs_.assign(1, input);
    added_.clear();
    tracks_.assign(1, {});
    strings_.clear();
}

const PF_ParamDef& ParamStore::def(int index) const
{
    if (index < 0 || index >= count())
        throw std::out_of_range("no parameter with index " + std::to_string(index) + " (there are " +
                                std::to_string(count()) + ")");
    return defs_[static_cast<std::size_t>(index)];
}

const char* ParamStore::keepString(const char* text)
{
    if (text == nullptr)
        return nullptr;
    strings_.push_back(std::make_unique<std::string>(text));
    return strings_.back()->c_str();
}

std::string ParamStore::add(const PF_ParamDef& given)
{
    const std::string name = NameTerminated(given) ? std::string(given.name) : std::string();
    const std::string who = "parameter " + std::to_string(count()) + (name.empty() ? "" : " '" + name + "'");
    if (!NameTerminated(given))
        return who + ": the name is not terminated within 32 bytes";
    if (given.uu.id != 0) {
        for (const PF_ParamDef& other : added_)
            if (other.uu.id == given.uu.id)
                return who + ": disk ID " + std::to_string(given.uu.id) + " is already used by '" +
                       std::string(other.name) + "'";
    }

    PF_ParamDef def = given;
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER: {
        const PF_FloatSliderDef& fs = def.u.fs_d;
        if (!(fs.valid_min <= fs.valid_max))
            return who + ": valid range " + Number(fs.valid_min) + " to " + Number(fs.valid_max) + " is empty";
        if (!(fs.slider_min >= fs.valid_min && fs.slider_max <= fs.valid_max && fs.slider_min <= fs.slider_max))
            return who + ": slider range lies outside the valid range";
        if (!(fs.dephault >= fs.valid_min && fs.dephault <= fs.valid_max))
            return who + ": default " + Number(fs.dephault) + " lies outside the valid range";
        const float value = static_cast<float>(fs.value);
        if (!(value >= fs.valid_min && value <= fs.valid_max))
            return who + ": value " + Number(fs.value) + " lies outside the valid range";
        break;
    }
    case PF_Param_POPUP: {
        PF_PopupDef& pd = def.u.pd;
        if (pd.u.namesptr == nullptr)
            return who + ": the popup has no entry string";
        const auto entries = PopupEntries(pd.u.namesptr);
        if (pd.num_choices < 1 || static_cast<std::size_t>(pd.num_choices) != entries.size())
            return who + ": " + std::to_string(pd.num_choices) + " choices declared but the entry string has " +
                   std::to_string(entries.size());
        if (pd.dephault < 1 || pd.dephault > pd.num_choices)
            return who + ": default " + std::to_string(pd.dephault) + " is not a choice";
        if (pd.value < 1 || pd.value > pd.num_choices)
            return who + ": value " + std::to_string(pd.value) + " is not a choice";
        pd.u.namesptr = keepString(pd.u.namesptr);
        break;
    }
    case PF_Param_CHECKBOX:
        def.u.bd.u.nameptr = keepString(def.u.bd.u.nameptr);
        break;
    case PF_Param_LAYER:
    case PF_Param_SLIDER:
    case PF_Param_FIX_SLIDER:
    case PF_Param_ANGLE:
    case PF_Param_COLOR:
    case PF_Param_POINT:
    case PF_Param_PATH:
    case PF_Param_GROUP_START:
    case PF_Param_GROUP_END:
    case PF_Param_BUTTON:
    case PF_Param_NO_DATA:
        break;
    default:
        return who + ": the stand-in host does not know parameter type " + std::to_string(def.param_type);
    }

    added_.push_back(given);
    defs_.push_back(def);
    tracks_.push_back({Key{0.0, defaultSample(def)}});
    return {};
}

void ParamStore::applyUi(int index, const PF_ParamDef& given)
{
    PF_ParamDef& def = defs_.at(static_cast<std::size_t>(index));
    def.ui_flags = given.ui_flags;
    def.flags = given.flags;
}

int ParamStore::indexOf(const std::string& name) const
{
    if (name.empty())
        return -1;
    for (int i = 1; i < count(); ++i)
        if (name == defs_[static_cast<std::size_t>(i)].name)
            return i;
    return -1;
}

std::string ParamStore::label(int index) const
{
    const PF_ParamDef& d = def(index);
    if (d.name[0] != '\0')
        return Concat({"'", d.name, "'"});
    return index == 0 ? std::string("the input layer") : "parameter " + std::to_string(index);
}

ParamStore::Sample ParamStore::defaultSample(const PF_ParamDef& def) const
{
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER:
        return {def.u.fs_d.value, 0};
    case PF_Param_SLIDER:
        return {static_cast<double>(def.u.sd.value), 0};
    case PF_Param_FIX_SLIDER:
        return {static_cast<double>(def.u.fd.value) / 65536.0, 0};
    case PF_Param_ANGLE:
        return {static_cast<double>(def.u.ad.value) / 65536.0, 0};
    case PF_Param_CHECKBOX:
        return {def.u.bd.value != 0 ? 1.0 : 0.0, 0};
    case PF_Param_POPUP:
        return {static_cast<double>(def.u.pd.value), 0};
    case PF_Param_POINT:
        return {static_cast<double>(def.u.td.x_value) / 65536.0, static_cast<double>(def.u.td.y_value) / 65536.0};
    case PF_Param_PATH:
        return {static_cast<double>(def.u.path_d.path_id), 0};
    default:
        return {};
    }
}

bool ParamStore::interpolates(int index) const
{
    switch (def(index).param_type) {
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER:
    case PF_Param_FIX_SLIDER:
    case PF_Param_ANGLE:
    case PF_Param_POINT:
        return true;
    default:
        return false; // checkboxes, popups and paths hold
    }
}

ParamStore::Sample ParamStore::parse(int index, const ParamValue& value) const
{
    const PF_ParamDef& d = def(index);
    const std::string who = label(index);
    const double* number = std::get_if<double>(&value);
    const bool* flag = std::get_if<bool>(&value);
    const PointValue* point = std::get_if<PointValue>(&value);
    const std::string* text = std::get_if<std::string>(&value);
    auto wrongKind = [&](const char* expected) {
        return std::invalid_argument(who + " is a " + ParamTypeName(d.param_type) + " and takes " + expected);
    };
    auto finite = [&](double v) {
        if (!std::isfinite(v))
            throw std::invalid_argument(who + ": " + Number(v) + " is not a finite number");
        return v;
    };

    switch (d.param_type) {
    case PF_Param_FLOAT_SLIDER: {
        if (number == nullptr)
            throw wrongKind("a number");
        const double v = finite(*number);
        // The range is a float: the value is checked as the float it becomes.
        const float f = static_cast<float>(v);
        if (!(f >= d.u.fs_d.valid_min && f <= d.u.fs_d.valid_max))
            throw std::invalid_argument(who + ": " + Number(v) + " lies outside the valid range " +
                                        Number(d.u.fs_d.valid_min) + " to " + Number(d.u.fs_d.valid_max));
        return {v, 0};
    }
    case PF_Param_SLIDER:
    case PF_Param_FIX_SLIDER: {
        if (number == nullptr)
            throw wrongKind("a number");
        return {finite(*number), 0};
    }
    case PF_Param_ANGLE: {
        if (number == nullptr)
            throw wrongKind("a number of degrees");
        const double v = finite(*number);
        const PF_Fixed fixed = ToFixed(v, who);
        if (d.u.ad.valid_min < d.u.ad.valid_max && (fixed < d.u.ad.valid_min || fixed > d.u.ad.valid_max))
            throw std::invalid_argument(who + ": " + Number(v) + " degrees lies outside the valid range");
        return {v, 0};
    }
    case PF_Param_CHECKBOX:
        if (flag != nullptr)
            return {*flag ? 1.0 : 0.0, 0};
        if (number != nullptr && (*number == 0.0 || *number == 1.0))
            return {*number, 0};
        throw wrongKind("true or false");
    case PF_Param_POPUP: {
        const auto entries = PopupEntries(d.u.pd.u.namesptr);
        if (text != nullptr) {
            for (std::size_t i = 0; i < entries.size(); ++i)
                if (entries[i] == *text)
                    return {static_cast<double>(i + 1), 0};
            std::string known;
            for (const std::string& e : entries)
                known += (known.empty() ? "" : ", ") + ("'" + e + "'");
            throw std::invalid_argument(who + " has no entry '" + *text + "' (entries: " + known + ")");
        }
        if (number == nullptr)
            throw wrongKind("an entry's text or its 1-based number");
        if (*number != std::floor(*number) || *number < 1 || *number > d.u.pd.num_choices)
            throw std::invalid_argument(who + ": " + Number(*number) + " is not a choice (1 to " +
                                        std::to_string(d.u.pd.num_choices) + ")");
        return {*number, 0};
    }
    case PF_Param_POINT:
        if (point == nullptr)
            throw wrongKind("a point [x, y]");
        ToFixed(finite(point->x), who);
        ToFixed(finite(point->y), who);
        return {point->x, point->y};
    case PF_Param_PATH:
        if (number == nullptr)
            throw wrongKind("a path id");
        if (*number != std::floor(*number) || *number < 0 || *number > 4294967295.0)
            throw std::invalid_argument(who + ": " + Number(*number) + " is not a path id");
        return {*number, 0};
    case PF_Param_LAYER:
        throw std::invalid_argument(who + " is a layer: give it a picture, not a value");
    default:
        throw std::invalid_argument(who + " is a " + ParamTypeName(d.param_type) + " and carries no value");
    }
}

void ParamStore::set(int index, const ParamValue& value)
{
    if (index == 0)
        throw std::invalid_argument("the input layer carries no value");
    const Sample sample = parse(index, value);
    tracks_.at(static_cast<std::size_t>(index)) = {Key{0.0, sample}};
}

void ParamStore::setKeys(int index, const std::vector<Keyframe>& keys)
{
    if (index == 0)
        throw std::invalid_argument("the input layer carries no value");
    if (keys.empty())
        throw std::invalid_argument(label(index) + ": a keyframed value needs at least one key");
    std::vector<Key> track;
    for (const Keyframe& key : keys) {
        if (!std::isfinite(key.seconds))
            throw std::invalid_argument(label(index) + ": a key's time must be a finite number of seconds");
        if (!track.empty() && !(key.seconds > track.back().seconds))
            throw std::invalid_argument(label(index) + ": key times must increase (" + Number(key.seconds) +
                                        " follows " + Number(track.back().seconds) + ")");
        track.push_back({key.seconds, parse(index, key.value)});
    }
    tracks_.at(static_cast<std::size_t>(index)) = std::move(track);
}

PF_ParamDef ParamStore::valueAt(int index, double seconds, const Downsample& scale) const
{
    PF_ParamDef out = def(index);
    const auto& track = tracks_.at(static_cast<std::size_t>(index));
    if (track.empty())
        return out;

    Sample s = track.front().sample;
    if (seconds >= track.back().seconds) {
        s = track.back().sample;
    } else if (seconds > track.front().seconds) {
        std::size_t k = 1;
        while (track[k].seconds <= seconds)
            ++k;
        const Key& k0 = track[k - 1];
        const Key& k1 = track[k];
        if (interpolates(index)) {
            const double t = (seconds - k0.seconds) / (k1.seconds - k0.seconds);
            s.a = k0.sample.a + (k1.sample.a - k0.sample.a) * t;
            s.b = k0.sample.b + (k1.sample.b - k0.sample.b) * t;
        } else {
            s = k0.sample;
        }
    }

    const std::string who = label(index);
    switch (out.param_type) {
    case PF_Param_FLOAT_SLIDER:
        out.u.fs_d.value = s.a;
        break;
    case PF_Param_SLIDER:
        out.u.sd.value = static_cast<PF_ParamValue>(std::round(s.a));
        break;
    case PF_Param_FIX_SLIDER:
        out.u.fd.value = ToFixed(s.a, who);
        break;
    case PF_Param_ANGLE:
        out.u.ad.value = ToFixed(s.a, who);
        break;
    case PF_Param_CHECKBOX:
        out.u.bd.value = s.a != 0.0 ? 1 : 0;
        break;
    case PF_Param_POPUP:
        out.u.pd.value = static_cast<PF_ParamValue>(s.a);
        break;
    case PF_Param_POINT:
        out.u.td.x_value = ToFixed(s.a * static_cast<double>(scale.nx) / static_cast<double>(scale.dx), who);
        out.u.td.y_value = ToFixed(s.b * static_cast<double>(scale.ny) / static_cast<double>(scale.dy), who);
        break;
    case PF_Param_PATH:
        out.u.path_d.path_id = static_cast<PF_PathID>(s.a);
        break;
    default:
        break;
    }
    return out;
}

} // namespace harness
