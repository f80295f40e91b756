// The parameters of an effect instance as the host keeps them: the
// definitions the effect added (with the UI state PF_UpdateParamUI set), and
// each parameter's value over time, constant or keyframed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HostAPI.h"
#include "harness/state/Host.h"

namespace harness {

// 16.16 fixed: value x 65536 rounded half away from zero. Throws
// std::invalid_argument, naming `what`, when it does not fit.
PF_Fixed ToFixed(double value, const std::string& what);

// Text of a parameter type ("float slider", "popup", ...).
std::string ParamTypeName(PF_ParamType type);

class ParamStore {
public:
    ParamStore();

    // Back to the input layer alone (index 0).
    void reset();
    int count() const { return static_cast<int>(defs_.size()); }

    // The definition with the current UI state (ui_flags and flags of the
    // last PF_UpdateParamUI); values are those given at add time.
    const PF_ParamDef& def(int index) const;
    const std::vector<PF_ParamDef>& added() const { return added_; }

    // Takes a definition from add_param; returns what is wrong with it, or
    // an empty string when it was added. Strings it points to are copied.
    std::string add(const PF_ParamDef& def);
    // Applies the UI bits of a PF_UpdateParamUI copy.
    void applyUi(int index, const PF_ParamDef& def);

    // Index of the parameter with that name; -1 when there is none.
    int indexOf(const std::string& name) const;
    // "Stroke Length" or "parameter 19" for an unnamed one.
    std::string label(int index) const;

    // Values, checked against the definition; throw std::invalid_argument
    // naming the parameter.
    void set(int index, const ParamValue& value);
    void setKeys(int index, const std::vector<Keyframe>& keys);

    // The definition with the value at `seconds`: linear between keys for
    // numbers and points, hold for checkboxes, popups and paths. A point is
    // scaled to the render, (x * nx) / dx in double, before it becomes 16.16
    // fixed. Layer parameters are left to the caller.
    PF_ParamDef valueAt(int index, double seconds, const Downsample& scale) const;

private:
    struct Sample {
        double a = 0; // number, degrees, or x
        double b = 0; // y
    };
    struct Key {
        double seconds;
        Sample sample;
    };

    Sample parse(int index, const ParamValue& value) const;
    Sample defaultSample(const PF_ParamDef& def) const;
    bool interpolates(int index) const;
    const char* keepString(const char* text);

    std::vector<PF_ParamDef> defs_;
    std::vector<PF_ParamDef> added_;
    std::vector<std::vector<Key>> tracks_;
    std::vector<std::unique_ptr<std::string>> strings_;
};

} // namespace harness
