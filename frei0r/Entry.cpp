// The frei0r entry points of linestra.so (a filter) and, built with
// LINESTRA_FREI0R_MIXER=1, linestra_layer.so (a two-input mixer whose second
// input is the Specified Layer). Each one catches everything: no exception
// leaves the module.
// The entry points are the only symbols the module exports (the build hides
// everything else by default; exports.map lists them for the linker).
// The header declares them without C linkage of its own.
#pragma GCC visibility push(default)
extern "C" {
#include <frei0r.h>
}
#pragma GCC visibility pop

#include <new>

#include "frei0r/Instance.h"

#ifndef LINESTRA_FREI0R_MIXER
#define LINESTRA_FREI0R_MIXER 0
#endif

namespace {

using linestra_frei0r::Instance;
using linestra_frei0r::Params;

constexpr bool kMixer = LINESTRA_FREI0R_MIXER != 0;
constexpr int kStringParams = linestra_frei0r::kFirstControlParam;

Instance* InstanceOf(f0r_instance_t instance)
{
    return static_cast<Instance*>(instance);
}

const char* StringExplanation(int index)
{
    switch (index) {
    case linestra_frei0r::kMaskParam:
        return "SVG path data in frame pixels, or @FILE.json (a scene file's mask object); empty: no mask";
    case linestra_frei0r::kTextureParam:
        return kMixer ? "An image file for Specified Layer; empty: the second input"
                      : "An image file for Specified Layer; empty: the placeholder picture";
    default:
        return "NAME=VALUE;NAME=VALUE in the controls' own units (as linestra-render --set), or @FILE.json; "
               "wins over the parameters below";
    }
}

// The control behind a frei0r parameter index; null for the text parameters
// and for indices past the last control.
const linestra_frei0r::Control* ControlAt(int index)
{
    const auto& controls = Params().controls;
    if (index < kStringParams)
        return nullptr;
    const auto k = static_cast<std::size_t>(index - kStringParams);
    return k < controls.size() ? &controls[k] : nullptr;
}

} // namespace

extern "C" {

int f0r_init(void)
{
    try {
        return Params().problem.empty() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void f0r_deinit(void) {}

void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    if (info == nullptr)
        return;
    info->name = kMixer ? "Linestra Layer" : "Linestra";
    info->author = "Linestra";
    info->plugin_type = kMixer ? F0R_PLUGIN_TYPE_MIXER2 : F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 1;
    int controls = 0;
    try {
        controls = static_cast<int>(Params().controls.size());
    } catch (...) {
    }
    info->num_params = kStringParams + controls;
    info->explanation = kMixer ? "Strokes along a mask path drawn with a texture taken from the second input"
                               : "Strokes along a mask path drawn with a texture";
}

void f0r_get_param_info(f0r_param_info_t* info, int index)
{
    if (info == nullptr)
        return;
    static const char* const kStringNames[] = {"Mask", "Texture", "Controls"};
    try {
        if (index >= 0 && index < kStringParams) {
            info->name = kStringNames[index];
            info->type = F0R_PARAM_STRING;
            info->explanation = StringExplanation(index);
            return;
        }
        const auto& controls = Params().controls;
        const auto k = static_cast<std::size_t>(index - kStringParams);
        if (index >= kStringParams && k < controls.size()) {
            info->name = controls[k].name.c_str();
            info->type = static_cast<int>(controls[k].frei0rType);
            info->explanation = controls[k].explanation.c_str();
            return;
        }
    } catch (...) {
    }
    info->name = "";
    info->type = F0R_PARAM_DOUBLE;
    info->explanation = "";
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    try {
        return new Instance(width, height, kMixer);
    } catch (const std::exception& e) {
        linestra_frei0r::ReportOnce(std::string("cannot make an instance: ") + e.what());
    } catch (...) {
        linestra_frei0r::ReportOnce("cannot make an instance");
    }
    return nullptr;
}

void f0r_destruct(f0r_instance_t instance)
{
    try {
        delete InstanceOf(instance);
    } catch (...) {
    }
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    Instance* self = InstanceOf(instance);
    if (self == nullptr || param == nullptr)
        return;
    try {
        if (index >= 0 && index < kStringParams) {
            self->setString(index, *static_cast<f0r_param_string*>(param));
            return;
        }
        const linestra_frei0r::Control* control = ControlAt(index);
        if (control == nullptr)
            return;
        if (control->frei0rType == linestra_frei0r::Frei0rType::Position) {
            const auto* position = static_cast<const f0r_param_position_t*>(param);
            self->setPosition(index, position->x, position->y);
        } else {
            self->setDouble(index, *static_cast<const double*>(param));
        }
    } catch (...) {
        linestra_frei0r::ReportOnce("a parameter value could not be taken");
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    Instance* self = InstanceOf(instance);
    if (self == nullptr || param == nullptr)
        return;
    try {
        if (index >= 0 && index < kStringParams) {
            // The instance's own text, valid until the parameter changes.
            *static_cast<f0r_param_string*>(param) = const_cast<char*>(self->getString(index));
            return;
        }
        const linestra_frei0r::Control* control = ControlAt(index);
        if (control == nullptr)
            return;
        if (control->frei0rType == linestra_frei0r::Frei0rType::Position) {
            const auto [x, y] = self->getPosition(index);
            *static_cast<f0r_param_position_t*>(param) = f0r_param_position_t{x, y};
        } else {
            *static_cast<double*>(param) = self->getDouble(index);
        }
    } catch (...) {
    }
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe)
{
    if (Instance* self = InstanceOf(instance))
        self->update(time, inframe, nullptr, outframe);
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1, const uint32_t* inframe2,
                 const uint32_t* /*inframe3*/, uint32_t* outframe)
{
    if (Instance* self = InstanceOf(instance))
        self->update(time, inframe1, kMixer ? inframe2 : nullptr, outframe);
}

} // extern "C"
