#include "frei0r/Instance.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <set>

#include "harness/protocol/EffectEntry.h"
#include "harness/state/World.h"
#include "host/DebugOutput.h"

namespace linestra_frei0r {

namespace {

// The effect keeps row strides as 16-bit pixel counts.
constexpr A_long kMaxPitchPixels = 65535;

std::string SizeProblem(unsigned width, unsigned height)
{
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width == 0 || height == 0)
        return "a " + size + " frame has no pixels";
    if (width > 1000000 || height > 1000000 ||
        harness::PaddedRowBytes(static_cast<A_long>(width), PF_PixelFormat_ARGB32) / 4 > kMaxPitchPixels)
        return "a " + size + " frame is wider than the effect's rows can be (their stride is counted in 16 bits); "
               "frames pass through unchanged";
    if (static_cast<double>(width) * static_cast<double>(height) * 4.0 > 2147483647.0)
        return "a " + size + " frame is larger than the effect can draw; frames pass through unchanged";
    return {};
}

// An RGBA8888 picture as the host's 8-bit ARGB layer.
harness::OwnedWorld FromRgba(const std::uint32_t* pixels, A_long width, A_long height)
{
    harness::OwnedWorld world(width, height, PF_PixelFormat_ARGB32);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pixels);
    for (A_long y = 0; y < height; ++y) {
        PF_Pixel* row = world.row<PF_Pixel>(y);
        const std::uint8_t* in = bytes + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
        for (A_long x = 0; x < width; ++x, in += 4)
            row[x] = PF_Pixel{in[3], in[0], in[1], in[2]};
    }
    return world;
}

void ToRgba(const harness::OwnedWorld& world, std::uint32_t* pixels)
{
    auto* bytes = reinterpret_cast<std::uint8_t*>(pixels);
    const A_long width = world.width();
    for (A_long y = 0; y < world.height(); ++y) {
        const PF_Pixel* row = world.row<PF_Pixel>(y);
        std::uint8_t* out = bytes + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
        for (A_long x = 0; x < width; ++x, out += 4) {
            out[0] = row[x].red;
            out[1] = row[x].green;
            out[2] = row[x].blue;
            out[3] = row[x].alpha;
        }
    }
}

// A host with the effect linked in, through its set-up. Throws.
std::unique_ptr<harness::Host> SetUpHost(const InstanceOptions& options)
{
    harness::HostOptions hostOptions;
    hostOptions.threads = options.threads;
    hostOptions.checks = options.checks;
    hostOptions.keepWorkerThreads = true;
    auto host = std::make_unique<harness::Host>(hostOptions);
    host->load(harness::LinkedEffect(), "Linestra (linked in)");
    DiagnosticCapture quiet;
    if (const PF_Err err = host->setup(); err != PF_Err_NONE)
        throw std::runtime_error("the effect's set-up failed (error " + std::to_string(err) + ")" +
                                 (host->lastCommand().returnMsg.empty() ? std::string()
                                                                         : ": " + host->lastCommand().returnMsg));
    return host;
}

std::string LayerName(const harness::Host& host)
{
    for (int i = 1; i < host.paramCount(); ++i)
        if (host.paramDef(i).param_type == PF_Param_LAYER)
            return host.paramDef(i).name;
    return {};
}

std::string ErrorText(PF_Err err, const std::string& message)
{
    return "error " + std::to_string(err) + (message.empty() ? std::string() : ": " + message);
}

} // namespace

const ParamTable& Params()
{
    static const ParamTable table = [] {
        ParamTable t;
        try {
            const auto host = SetUpHost({.threads = 1});
            t.controls = ControlsOf(*host);
            for (const Control& c : t.controls)
                t.defaults.push_back(DefinitionValue(host->paramDef(c.index)));
        } catch (const std::exception& e) {
            t.problem = e.what();
        } catch (...) {
            t.problem = "the effect's set-up failed";
        }
        return t;
    }();
    return table;
}

void ReportOnce(const std::string& message)
{
    // A value animated through a bad range gives a new message each frame:
    // after this many distinct ones the rest are left unsaid (and the set
    // stops growing).
    constexpr std::size_t kMaxMessages = 100;
    static std::mutex mutex;
    static std::set<std::string> reported;
    bool last = false;
    try {
        std::lock_guard lock(mutex);
        if (reported.size() > kMaxMessages || !reported.insert(message).second)
            return;
        last = reported.size() > kMaxMessages;
    } catch (...) {
        return;
    }
    if (last)
        std::fprintf(stderr, "linestra: %zu different problems so far; further ones are not reported\n",
                     kMaxMessages);
    else
        std::fprintf(stderr, "linestra: %s\n", message.c_str());
    std::fflush(stderr);
}

Instance::Instance(unsigned width, unsigned height, bool mixer, InstanceOptions options)
    : width_(width), height_(height), mixer_(mixer)
{
    const ParamTable& table = Params();
    values_.resize(table.controls.size());
    given_.assign(table.controls.size(), false);
    for (std::size_t k = 0; k < table.controls.size(); ++k)
        values_[k] = Frei0rValue(table.controls[k], table.defaults[k], static_cast<int>(width),
                                 static_cast<int>(height));
    fixedProblem_ = !table.problem.empty() ? table.problem : SizeProblem(width, height);
    if (!fixedProblem_.empty())
        return;
    try {
        host_ = SetUpHost(options);
    } catch (const std::exception& e) {
        fixedProblem_ = e.what();
    }
}

Instance::~Instance() = default;

void Instance::setDouble(int param, double value)
{
    std::lock_guard lock(mutex_);
    const auto k = static_cast<std::size_t>(param - kFirstControlParam);
    if (param < kFirstControlParam || k >= values_.size())
        return;
    if (!given_[k] || values_[k].first != value) {
        values_[k].first = value;
        given_[k] = true;
        valuesChanged_ = true;
    }
}

void Instance::setPosition(int param, double x, double y)
{
    std::lock_guard lock(mutex_);
    const auto k = static_cast<std::size_t>(param - kFirstControlParam);
    if (param < kFirstControlParam || k >= values_.size())
        return;
    if (!given_[k] || values_[k] != std::pair{x, y}) {
        values_[k] = {x, y};
        given_[k] = true;
        valuesChanged_ = true;
    }
}

void Instance::setString(int param, const char* text)
{
    std::lock_guard lock(mutex_);
    std::string* target = param == kMaskParam       ? &mask_
                          : param == kTextureParam  ? &texture_
                          : param == kControlsParam ? &controls_
                                                    : nullptr;
    if (target == nullptr)
        return;
    const std::string value = text != nullptr ? text : "";
    if (*target != value) {
        *target = value;
        stringsChanged_ = true;
    }
}

double Instance::getDouble(int param) const
{
    std::lock_guard lock(mutex_);
    const auto k = static_cast<std::size_t>(param - kFirstControlParam);
    return param >= kFirstControlParam && k < values_.size() ? values_[k].first : 0.0;
}

std::pair<double, double> Instance::getPosition(int param) const
{
    std::lock_guard lock(mutex_);
    const auto k = static_cast<std::size_t>(param - kFirstControlParam);
    return param >= kFirstControlParam && k < values_.size() ? values_[k] : std::pair{0.0, 0.0};
}

const char* Instance::getString(int param) const
{
    std::lock_guard lock(mutex_);
    return param == kMaskParam      ? mask_.c_str()
           : param == kTextureParam ? texture_.c_str()
           : param == kControlsParam ? controls_.c_str()
                                     : "";
}

std::string Instance::problem() const
{
    std::lock_guard lock(mutex_);
    return !fixedProblem_.empty() ? fixedProblem_ : !stringsProblem_.empty() ? stringsProblem_ : valuesProblem_;
}

// Brings the host's values up to the parameters. The effect's defaults come
// first, then frei0r's values the tool gave, then Controls (which wins), so
// that a control left out of Controls goes back to what it was without it.
void Instance::applySettings()
{
    const ParamTable& table = Params();
    harness::Host& host = *host_;
    const auto width = static_cast<int>(width_);
    const auto height = static_cast<int>(height_);
    const std::filesystem::path base = std::filesystem::current_path();
    if (stringsChanged_) {
        stringsChanged_ = false;
        valuesChanged_ = true;
        stringsProblem_.clear();
        try {
            maskPath_.reset();
            textureImage_.reset();
            controlParams_.clear();
            maskPath_ = ParseMask(mask_, base);
            controlParams_ = ParseControls(controls_, base);
            const std::string layer = LayerName(host);
            layerFromControls_ = false;
            for (const harness::SceneParam& p : controlParams_)
                layerFromControls_ = layerFromControls_ || p.name == layer;
            if (!texture_.empty() && !layerFromControls_) {
                try {
                    textureImage_ = harness::ImageFile::Read((base / texture_).string());
                } catch (const std::exception& e) {
                    throw SettingsError(std::string("Texture: ") + e.what());
                }
            }
            if (!layer.empty()) {
                if (textureImage_) {
                    const auto image = textureImage_;
                    host.setLayer(layer, [image](PF_PixelFormat format) { return image->toWorld(format); },
                                  image->width(), image->height());
                } else {
                    host.clearLayer(layer);
                }
            }
            // The mask and Controls through the scene code, as linestra-render
            // applies --set; the input is replaced by each frame.
            harness::Scene scene;
            scene.file = "Controls";
            scene.size = std::pair<A_long, A_long>{static_cast<A_long>(width_), static_cast<A_long>(height_)};
            scene.input.pattern = "gradient";
            scene.mask = maskPath_;
            scene.params = controlParams_;
            for (std::size_t k = 0; k < table.controls.size(); ++k)
                host.setParam(table.controls[k].index, table.defaults[k]);
            try {
                harness::ApplyScene(scene, host);
            } catch (const harness::SceneError& e) {
                std::string what = e.what();
                if (what.rfind("--set: ", 0) == 0)
                    what.erase(0, 7);
                throw SettingsError("Controls: " + what);
            }
        } catch (const std::exception& e) {
            // Applied again once a text changes.
            stringsProblem_ = e.what();
        }
    }
    if (valuesChanged_) {
        valuesChanged_ = false;
        valuesProblem_.clear();
        try {
            for (std::size_t k = 0; k < table.controls.size(); ++k) {
                const Control& c = table.controls[k];
                bool named = false;
                for (const harness::SceneParam& p : controlParams_)
                    named = named || p.name == c.name;
                if (named)
                    continue; // Controls wins
                try {
                    host.setParam(c.index, given_[k] ? ControlValue(c, values_[k].first, values_[k].second, width,
                                                                     height)
                                                      : table.defaults[k]);
                } catch (const std::exception& e) {
                    throw SettingsError("parameter " + std::string(e.what()) + " (from frei0r's " +
                                        std::to_string(values_[k].first) + ")");
                }
            }
        } catch (const std::exception& e) {
            // Applied again once a value changes.
            valuesProblem_ = e.what();
        }
    }
}

bool Instance::render(double time, const std::uint32_t* input, const std::uint32_t* second, std::uint32_t* output)
{
    harness::Host& host = *host_;
    const auto width = static_cast<A_long>(width_);
    const auto height = static_cast<A_long>(height_);
    if (!std::isfinite(time) || !harness::FitsHostTime(time, host.options().fps)) {
        ReportOnce("frame time " + std::to_string(time) + " s lies outside the time the host can count; "
                   "such frames pass through unchanged");
        return false;
    }
    host.setInput([input, width, height](PF_PixelFormat) { return FromRgba(input, width, height); }, width,
                  height);
    if (mixer_ && !textureImage_ && !layerFromControls_) {
        // A frame without a second input has no layer: the previous frame's
        // is gone (its pixels belonged to the tool's call).
        const std::string layer = LayerName(host);
        if (!layer.empty() && second != nullptr)
            host.setLayer(layer, [second, width, height](PF_PixelFormat) { return FromRgba(second, width, height); },
                          width, height);
        else if (!layer.empty())
            host.clearLayer(layer);
    }
    harness::FrameResult result;
    {
        // The effect's diagnostic text must not reach the tool's standard
        // output (which may be the video stream).
        DiagnosticCapture quiet;
        result = host.renderFrame(harness::FrameRequest{.time = time, .bitDepth = 8});
    }
    std::string failure;
    if (result.preRenderErr != PF_Err_NONE)
        failure = "the effect's pre-render returned " + ErrorText(result.preRenderErr, result.returnMsg);
    else if (!result.renderSent || result.renderErr != PF_Err_NONE)
        failure = "the effect's render returned " + ErrorText(result.renderErr, result.returnMsg);
    else if (!result.output || result.output->width() != width || result.output->height() != height)
        failure = "the host produced no output picture";
    else if (!result.violations.empty())
        failure = "the effect broke the host's rules: " + harness::Describe(result.violations);
    if (!result.hostFaults.empty())
        failure += (failure.empty() ? "" : "; ") + harness::DescribeHostFaults(result.hostFaults);
    if (!failure.empty()) {
        ReportOnce(failure + "; such frames pass through unchanged");
        return false;
    }
    ToRgba(*result.output, output);
    return true;
}

void Instance::update(double time, const std::uint32_t* input, const std::uint32_t* second,
                      std::uint32_t* output) noexcept
{
    if (input == nullptr || output == nullptr)
        return;
    const std::size_t bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
    bool rendered = false;
    try {
        std::lock_guard lock(mutex_);
        if (!fixedProblem_.empty()) {
            ReportOnce(fixedProblem_);
        } else {
            if (stringsChanged_ || valuesChanged_)
                applySettings();
            const std::string& problem = !stringsProblem_.empty() ? stringsProblem_ : valuesProblem_;
            if (!problem.empty())
                ReportOnce(problem + "; frames pass through unchanged until it is corrected");
            else
                rendered = render(time, input, second, output);
        }
    } catch (const std::bad_alloc&) {
        ReportOnce("not enough memory to render a " + std::to_string(width_) + " x " + std::to_string(height_) +
                   " frame; such frames pass through unchanged");
    } catch (const std::exception& e) {
        ReportOnce(std::string(e.what()) + "; such frames pass through unchanged");
    } catch (...) {
        ReportOnce("the frame could not be rendered; it passes through unchanged");
    }
    if (!rendered && input != output)
        std::memmove(output, input, bytes);
}

} // namespace linestra_frei0r
