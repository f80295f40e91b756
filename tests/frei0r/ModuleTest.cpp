// The built modules through their frei0r entry points (loaded as a video
// tool loads them), compared with the stand-in host rendering the same
// frame in-process with its contract checks on; and the instance's answers
// to bad input.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <future>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "frei0r/Instance.h"
#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"

namespace {

using Pixels = std::vector<std::uint32_t>;

// A frei0r module opened through the system loader.
class Frei0rModule {
public:
    explicit Frei0rModule(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL))
    {
        if (handle_ == nullptr)
            throw std::runtime_error(dlerror());
        init = symbol<decltype(&f0r_init)>("f0r_init");
        deinit = symbol<decltype(&f0r_deinit)>("f0r_deinit");
        pluginInfo = symbol<decltype(&f0r_get_plugin_info)>("f0r_get_plugin_info");
        paramInfo = symbol<decltype(&f0r_get_param_info)>("f0r_get_param_info");
        construct = symbol<decltype(&f0r_construct)>("f0r_construct");
        destruct = symbol<decltype(&f0r_destruct)>("f0r_destruct");
        setParam = symbol<decltype(&f0r_set_param_value)>("f0r_set_param_value");
        getParam = symbol<decltype(&f0r_get_param_value)>("f0r_get_param_value");
        update = symbol<decltype(&f0r_update)>("f0r_update");
        update2 = symbol<decltype(&f0r_update2)>("f0r_update2");
        EXPECT_EQ(init(), 1);
    }
    ~Frei0rModule()
    {
        deinit();
        dlclose(handle_);
    }
    Frei0rModule(const Frei0rModule&) = delete;
    Frei0rModule& operator=(const Frei0rModule&) = delete;

    int paramIndex(const std::string& name) const
    {
        f0r_plugin_info_t info{};
        pluginInfo(&info);
        for (int i = 0; i < info.num_params; ++i) {
            f0r_param_info_t p{};
            paramInfo(&p, i);
            if (name == p.name)
                return i;
        }
        throw std::invalid_argument("no parameter " + name);
    }
    void setString(f0r_instance_t instance, const std::string& name, const char* text) const
    {
        f0r_param_string value = const_cast<char*>(text);
        setParam(instance, &value, paramIndex(name));
    }
    void setDouble(f0r_instance_t instance, const std::string& name, double value) const
    {
        setParam(instance, &value, paramIndex(name));
    }

    decltype(&f0r_init) init;
    decltype(&f0r_deinit) deinit;
    decltype(&f0r_get_plugin_info) pluginInfo;
    decltype(&f0r_get_param_info) paramInfo;
    decltype(&f0r_construct) construct;
    decltype(&f0r_destruct) destruct;
    decltype(&f0r_set_param_value) setParam;
    decltype(&f0r_get_param_value) getParam;
    decltype(&f0r_update) update;
    decltype(&f0r_update2) update2;

private:
    template <typename F>
    F symbol(const char* name)
    {
        void* address = dlsym(handle_, name);
        if (address == nullptr)
            throw std::runtime_error(std::string("no ") + name);
        return reinterpret_cast<F>(address);
    }
    void* handle_;
};

constexpr int kWidth = 320;
constexpr int kHeight = 180;

// A frame with something in every channel, different per `seed`.
Pixels TestFrame(int seed)
{
    Pixels frame(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const auto r = static_cast<std::uint32_t>((x * 255) / kWidth);
            const auto g = static_cast<std::uint32_t>((y * 255) / kHeight);
            const auto b = static_cast<std::uint32_t>(((x + y) * 7 + seed * 40) & 0xFF);
            const std::uint32_t a = (x / 40 + y / 40) % 3 == 0 ? 128u : 255u;
            std::uint8_t bytes[4] = {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                     static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(a)};
            std::memcpy(&frame[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)], bytes, 4);
        }
    return frame;
}

harness::OwnedWorld ToWorld(const Pixels& frame)
{
    harness::OwnedWorld world(kWidth, kHeight, PF_PixelFormat_ARGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t b[4];
            std::memcpy(b, &frame[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)], 4);
            world.row<PF_Pixel>(y)[x] = PF_Pixel{b[3], b[0], b[1], b[2]};
        }
    return world;
}

Pixels FromWorld(const harness::OwnedWorld& world)
{
    Pixels frame(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const PF_Pixel p = world.row<PF_Pixel>(y)[x];
            const std::uint8_t b[4] = {p.red, p.green, p.blue, p.alpha};
            std::memcpy(&frame[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)], b, 4);
        }
    return frame;
}

// The in-process host, checks on, one thread, with the given values.
class Reference {
public:
    Reference() : host_(OneThread())
    {
        host_.load(harness::LinkedEffect());
        EXPECT_EQ(host_.setup(), PF_Err_NONE);
    }
    harness::Host& host() { return host_; }
    Pixels render(const Pixels& frame, double seconds)
    {
        host_.setInput(ToWorld(frame));
        const harness::FrameResult result = host_.renderFrame({.time = seconds, .bitDepth = 8});
        EXPECT_EQ(result.renderErr, PF_Err_NONE);
        EXPECT_TRUE(result.violations.empty()) << harness::Describe(result.violations);
        return FromWorld(*result.output);
    }

private:
    static harness::HostOptions OneThread()
    {
        harness::HostOptions options;
        options.threads = 1;
        return options;
    }
    harness::Host host_;
};

const char* const kCurve = "M 40 40 C 120 -10 200 -10 280 40 S 300 160 160 150 Q 60 140 40 40 Z";

TEST(Frei0rModule, DescribesItselfAsAnRgbaFilterAndMixer)
{
    Frei0rModule filter(LINESTRA_FREI0R_FILTER);
    Frei0rModule mixer(LINESTRA_FREI0R_MIXER);
    f0r_plugin_info_t info{};
    filter.pluginInfo(&info);
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    EXPECT_EQ(info.num_params, 3 + static_cast<int>(linestra_frei0r::Params().controls.size()));
    f0r_plugin_info_t mixerInfo{};
    mixer.pluginInfo(&mixerInfo);
    EXPECT_EQ(mixerInfo.plugin_type, F0R_PLUGIN_TYPE_MIXER2);
    EXPECT_EQ(mixerInfo.num_params, info.num_params);

    const std::vector<std::pair<std::string, int>> first = {{"Mask", F0R_PARAM_STRING},
                                                            {"Texture", F0R_PARAM_STRING},
                                                            {"Controls", F0R_PARAM_STRING},
                                                            {"Expand/Contract Path", F0R_PARAM_DOUBLE}};
    for (int i = 0; i < static_cast<int>(first.size()); ++i) {
        f0r_param_info_t p{};
        filter.paramInfo(&p, i);
        EXPECT_EQ(p.name, first[static_cast<std::size_t>(i)].first);
        EXPECT_EQ(p.type, first[static_cast<std::size_t>(i)].second);
    }
    f0r_param_info_t outside{};
    filter.paramInfo(&outside, info.num_params + 5);
    EXPECT_STREQ(outside.name, "");
}

TEST(Frei0rModule, ReadsBackTheEffectsDefaultsAndTheTextsItWasGiven)
{
    Frei0rModule filter(LINESTRA_FREI0R_FILTER);
    f0r_instance_t instance = filter.construct(kWidth, kHeight);
    ASSERT_NE(instance, nullptr);
    double value = -1;
    filter.getParam(instance, &value, filter.paramIndex("Composite On Original"));
    EXPECT_EQ(value, 1.0);
    filter.getParam(instance, &value, filter.paramIndex("Texture Source"));
    EXPECT_EQ(value, 0.25); // the middle of the first entry's half
    filter.getParam(instance, &value, filter.paramIndex("Fade Out"));
    EXPECT_EQ(value, 0.0);
    filter.setString(instance, "Controls", "Mirror X=true");
    f0r_param_string text = nullptr;
    filter.getParam(instance, &text, filter.paramIndex("Controls"));
    EXPECT_STREQ(text, "Mirror X=true");
    filter.destruct(instance);
}

// Values through frei0r and through Controls, two frames at different
// times with a value changed between them: each frame equals the
// in-process host's with the same values.
TEST(Frei0rModule, FramesEqualTheInProcessHostsWithTheSameValues)
{
    Frei0rModule filter(LINESTRA_FREI0R_FILTER);
    f0r_instance_t instance = filter.construct(kWidth, kHeight);
    ASSERT_NE(instance, nullptr);
    filter.setString(instance, "Mask", kCurve);
    filter.setString(instance, "Controls", "Stroke Length=-40;Texture Offset={\"keys\": [[0, 0], [2, 360]]}");
    filter.setDouble(instance, "Mirror X", 1.0);
    filter.setDouble(instance, "Fade Out", 0.5);
    filter.setDouble(instance, "Stroke Length", 0.9); // Controls wins
    const f0r_param_position_t point{0.25, 0.75};
    filter.setParam(instance, const_cast<f0r_param_position_t*>(&point), filter.paramIndex("Point"));
    filter.setDouble(instance, "Texture Origin", 0.75); // Nearest To Point

    Reference reference;
    harness::Host& host = reference.host();
    host.setMask(harness::SvgPath(kCurve));
    host.setParam("Stroke Length", -40.0);
    host.setParamKeys("Texture Offset", {{0.0, 0.0}, {2.0, 360.0}});
    host.setParam("Mirror X", true);
    host.setParam("Fade Out", 50.0);
    host.setParam("Point", harness::PointValue{80, 135});
    host.setParam("Texture Origin", std::string("Nearest To Point"));

    const Pixels first = TestFrame(0);
    Pixels out(first.size());
    filter.update(instance, 0.5, first.data(), out.data());
    EXPECT_TRUE(out == reference.render(first, 0.5));
    EXPECT_FALSE(out == first);

    filter.setDouble(instance, "Mirror X", 0.0);
    host.setParam("Mirror X", false);
    const Pixels second = TestFrame(1);
    filter.update(instance, 1.25, second.data(), out.data());
    EXPECT_TRUE(out == reference.render(second, 1.25));

    // Controls emptied: Stroke Length takes frei0r's 0.9 (8000) again, the
    // offset its default.
    filter.setString(instance, "Controls", "");
    host.setParam("Stroke Length", 8000.0);
    host.setParam("Texture Offset", 0.0);
    filter.update(instance, 1.25, second.data(), out.data());
    EXPECT_TRUE(out == reference.render(second, 1.25));
    filter.destruct(instance);
}

TEST(Frei0rModule, TheMixersSecondInputIsTheSpecifiedLayer)
{
    Frei0rModule mixer(LINESTRA_FREI0R_MIXER);
    f0r_instance_t instance = mixer.construct(kWidth, kHeight);
    ASSERT_NE(instance, nullptr);
    mixer.setString(instance, "Mask", kCurve);
    const Pixels frame = TestFrame(0);
    const Pixels texture = TestFrame(3);
    Pixels out(frame.size());
    mixer.update2(instance, 0.0, frame.data(), texture.data(), nullptr, out.data());

    Reference reference;
    reference.host().setMask(harness::SvgPath(kCurve));
    reference.host().setLayer("Specified Layer", ToWorld(texture));
    EXPECT_TRUE(out == reference.render(frame, 0.0));
    reference.host().clearLayer("Specified Layer");
    const Pixels placeholder = reference.render(frame, 0.0);
    EXPECT_FALSE(out == placeholder);

    // A later frame without a second input does not keep the earlier one's
    // (whose pixels the tool may have freed): the placeholder, as with none.
    Pixels withoutSecond(frame.size());
    mixer.update2(instance, 0.0, frame.data(), nullptr, nullptr, withoutSecond.data());
    EXPECT_TRUE(withoutSecond == placeholder);
    mixer.destruct(instance);
}

// Instances are used from several threads at once by some tools: each
// renders as it would alone.
TEST(Frei0rModule, InstancesOnSeveralThreadsRenderAsAlone)
{
    Frei0rModule filter(LINESTRA_FREI0R_FILTER);
    const Pixels frame = TestFrame(2);
    auto renderOne = [&](double offset) {
        f0r_instance_t instance = filter.construct(kWidth, kHeight);
        filter.setString(instance, "Mask", kCurve);
        filter.setDouble(instance, "Texture Offset", offset);
        Pixels out(frame.size());
        for (int k = 0; k < 3; ++k)
            filter.update(instance, k / 25.0, frame.data(), out.data());
        filter.destruct(instance);
        return out;
    };
    auto a = std::async(std::launch::async, renderOne, 0.25);
    auto b = std::async(std::launch::async, renderOne, 0.5);
    const Pixels fromA = a.get();
    const Pixels fromB = b.get();
    EXPECT_TRUE(fromA == renderOne(0.25));
    EXPECT_TRUE(fromB == renderOne(0.5));
    EXPECT_FALSE(fromA == fromB);
}

// Bad input: the frame passes through, the problem is said once, and a
// corrected setting renders again.
TEST(Frei0rInstance, BadSettingsPassTheFrameThroughWithOneMessageEach)
{
    const Pixels frame = TestFrame(0);
    struct Case {
        int param;
        const char* text;
        const char* says;
    };
    const std::vector<Case> cases = {
        {linestra_frei0r::kMaskParam, "M 1 1 L nowhere", "Mask: SVG path data"},
        {linestra_frei0r::kMaskParam, "@/no/such/mask.json", "no such file /no/such/mask.json"},
        {linestra_frei0r::kTextureParam, "/no/such/texture.png", "Texture: "},
        {linestra_frei0r::kControlsParam, "Stroke Lenght=5", "Stroke Lenght"},
        {linestra_frei0r::kControlsParam, "Fade Out=500", "Fade Out"},
        {linestra_frei0r::kControlsParam, "Texture Source=Somewhere", "Somewhere"},
        {linestra_frei0r::kControlsParam, "Path=1", "Path"},
    };
    for (const Case& c : cases) {
        linestra_frei0r::Instance instance(kWidth, kHeight, false, {.checks = true});
        instance.setString(linestra_frei0r::kMaskParam, kCurve);
        instance.setString(c.param, c.text);
        Pixels out(frame.size());
        ::testing::internal::CaptureStderr();
        for (int k = 0; k < 3; ++k)
            instance.update(k / 25.0, frame.data(), nullptr, out.data());
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(out == frame) << c.text;
        EXPECT_NE(instance.problem().find(c.says), std::string::npos) << instance.problem();
        // One line, and none for a problem said before in this process.
        EXPECT_LE(std::count(said.begin(), said.end(), '\n'), 1) << said;

        // Without a mask the effect leaves the frame as it is: a mask case
        // goes back to the curve.
        instance.setString(c.param, c.param == linestra_frei0r::kMaskParam ? kCurve : "");
        instance.update(0.0, frame.data(), nullptr, out.data());
        EXPECT_TRUE(instance.problem().empty()) << instance.problem();
        EXPECT_FALSE(out == frame) << "no render after " << c.text << " was taken back";
    }
}

TEST(Frei0rInstance, AFrameValueOutsideTheRangeIsRefusedUntilCorrected)
{
    linestra_frei0r::Instance instance(kWidth, kHeight, false, {.checks = true});
    instance.setString(linestra_frei0r::kMaskParam, kCurve);
    const int fade = linestra_frei0r::kFirstControlParam + [] {
        const auto& controls = linestra_frei0r::Params().controls;
        for (std::size_t k = 0; k < controls.size(); ++k)
            if (controls[k].name == "Fade Out")
                return static_cast<int>(k);
        return -1;
    }();
    instance.setDouble(fade, 3.0); // 300 %
    const Pixels frame = TestFrame(0);
    Pixels out(frame.size());
    ::testing::internal::CaptureStderr();
    instance.update(0.0, frame.data(), nullptr, out.data());
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(out == frame);
    EXPECT_NE(instance.problem().find("Fade Out"), std::string::npos);
    instance.setDouble(fade, 0.3);
    instance.update(0.0, frame.data(), nullptr, out.data());
    EXPECT_TRUE(instance.problem().empty()) << instance.problem();
}

TEST(Frei0rInstance, FramesTheEffectCannotTakeAreRefused)
{
    for (const auto& [width, height] : std::vector<std::pair<unsigned, unsigned>>{{70000, 2}, {0, 10}}) {
        linestra_frei0r::Instance instance(width, height, false);
        EXPECT_FALSE(instance.problem().empty());
        const std::size_t size = static_cast<std::size_t>(width) * height;
        Pixels in(size, 0x11223344u), out(size, 0);
        ::testing::internal::CaptureStderr();
        instance.update(0.0, in.data(), nullptr, out.data());
        ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(out == in);
    }
    // A time the host cannot count passes through too.
    linestra_frei0r::Instance instance(kWidth, kHeight, false);
    instance.setString(linestra_frei0r::kMaskParam, kCurve);
    const Pixels frame = TestFrame(0);
    Pixels out(frame.size());
    ::testing::internal::CaptureStderr();
    instance.update(1e12, frame.data(), nullptr, out.data());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(out == frame);
    EXPECT_NE(said.find("frame time"), std::string::npos) << said;
}

} // namespace
