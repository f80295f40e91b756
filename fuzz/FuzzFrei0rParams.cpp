// The frei0r modules' parameter texts: the first byte chooses Mask or
// Controls text (and one control for a frei0r value); the rest is the text,
// whose last 8 bytes are also that control's value. The texts are parsed
// (refused with a SettingsError, or read; a mask is measured), then handed
// to a frei0r instance that renders a small frame with them, where a
// setting the effect refuses passes the frame through. Anything thrown out
// of the instance, or a crash, is a finding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "frei0r/Instance.h"
#include "frei0r/Settings.h"

// A mask running millions of pixels outside the frame has its lines laid out
// until the memory budget refuses it: by design that takes seconds at the
// default budget of 1 GiB (about 2.5 s in a Release build, 28 s in this
// instrumented one). The 24-pixel frame below needs a few kilobytes, so a
// budget of 16 MB refuses such masks about 60 times sooner and still takes
// the refusal's path; the fuzzer's time goes to other inputs instead.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    setenv("LINESTRA_MEMORY_BUDGET_MB", "16", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    using namespace linestra_frei0r;
    const int choice = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool isMask = (choice & 1) != 0;
    try {
        if (isMask) {
            if (const auto mask = ParseMask(text, "/nonexistent"))
                fuzzsupport::Measure(*mask, 0);
        } else {
            (void)ParseControls(text, "/nonexistent");
        }
    } catch (const SettingsError&) {
    }

    // One instance for the run: set-up is the effect's, not the texts'.
    constexpr unsigned kSide = 24;
    static Instance instance(kSide, kSide, false, {.threads = 1, .checks = true});
    static const std::vector<std::uint32_t> frame(kSide * kSide, 0x80402010u);
    std::vector<std::uint32_t> out(frame.size());
    instance.setString(kMaskParam, isMask ? text.c_str() : "M 2 2 L 20 4 L 12 20 Z");
    instance.setString(kControlsParam, isMask ? "" : text.c_str());
    const auto controls = static_cast<int>(Params().controls.size());
    if (size >= 9 && controls > 0) {
        double value = 0;
        std::memcpy(&value, data + size - 8, 8);
        const int param = kFirstControlParam + (choice >> 1) % controls;
        instance.setDouble(param, value);
        instance.setPosition(param, value, 1 - value);
    }
    instance.update(0.5, frame.data(), nullptr, out.data());
    return 0;
}
