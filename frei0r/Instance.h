// One frei0r instance: a stand-in host with the effect linked in, set up
// once, rendering each frame the video tool hands over. The host keeps its
// worker threads for the instance's life and runs without its contract
// checks and call trace.
//
// Nothing thrown inside reaches the caller: a setting that cannot be used
// (a bad mask, an unreadable texture, an unknown control or a value out of
// range), a frame size the effect cannot take, or a failed render writes
// one message on standard error (once per distinct problem in the process)
// and the frame passes through unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "frei0r/Settings.h"
#include "harness/images/Images.h"

namespace linestra_frei0r {

// The parameters every instance has, in frei0r's order: Mask, Texture and
// Controls (strings), then one per control (Settings.h: ControlsOf).
struct ParamTable {
    std::vector<Control> controls;
    std::vector<harness::ParamValue> defaults; // per control, the effect's default
    std::string problem; // why the table could not be made; empty when it was
};
inline constexpr int kMaskParam = 0;
inline constexpr int kTextureParam = 1;
inline constexpr int kControlsParam = 2;
inline constexpr int kFirstControlParam = 3;

// Made once, the first time it is asked for, from a host that ran the
// effect's set-up. Never throws.
const ParamTable& Params();

// Writes "linestra: MESSAGE" on standard error unless the same message was
// written before in this process; after 100 distinct messages, says so once
// and writes no more.
void ReportOnce(const std::string& message);

// Options of an instance's host.
struct InstanceOptions {
    int threads = 0;      // 0: all cores
    bool checks = false;  // the host's contract checks (tests turn them on)
};

class Instance {
public:
    // `mixer`: the second input of update() is the Specified Layer unless
    // Texture or Controls name one.
    Instance(unsigned width, unsigned height, bool mixer, InstanceOptions options = {});
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // frei0r's values: bool and double as double, a position as two doubles,
    // a string as a C string (copied).
    void setDouble(int param, double value);
    void setPosition(int param, double x, double y);
    void setString(int param, const char* text);
    double getDouble(int param) const;
    std::pair<double, double> getPosition(int param) const;
    const char* getString(int param) const;

    // Renders one frame: `time` in seconds, pictures of width x height
    // RGBA pixels, 8 bits a channel. `second` is the mixer's second input
    // (null for a filter). Never throws; on a problem the frame passes
    // through.
    void update(double time, const std::uint32_t* input, const std::uint32_t* second,
                std::uint32_t* output) noexcept;

    // The problem that makes frames pass through now; empty when none.
    std::string problem() const;

private:
    void applySettings();
    bool render(double time, const std::uint32_t* input, const std::uint32_t* second, std::uint32_t* output);

    const unsigned width_;
    const unsigned height_;
    const bool mixer_;
    mutable std::mutex mutex_;
    std::unique_ptr<harness::Host> host_;
    std::string fixedProblem_; // set up or frame size: lasts the instance's life
    std::string stringsProblem_; // of Mask, Texture and Controls
    std::string valuesProblem_;  // of the frei0r values

    std::string mask_, texture_, controls_;
    std::vector<std::pair<double, double>> values_; // per control, frei0r's value
    std::vector<bool> given_;                        // set by the video tool
    bool stringsChanged_ = true;
    bool valuesChanged_ = true;

    // What the texts gave, kept while they stay the same.
    std::optional<harness::MaskPath> maskPath_;
    std::shared_ptr<const harness::ImageFile> textureImage_;
    std::vector<harness::SceneParam> controlParams_;
    bool layerFromControls_ = false;
};

} // namespace linestra_frei0r
