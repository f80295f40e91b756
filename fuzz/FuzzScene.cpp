// Scene text: refused with a SceneError or read; a mask it reads is measured.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "harness/scenes/Scene.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const harness::Scene scene = harness::ParseScene(text, "fuzz.json", "/nonexistent");
        (void)harness::FrameTimeProblem(scene.render);
        if (scene.mask)
            fuzzsupport::Measure(*scene.mask, 0);
    } catch (const harness::SceneError&) {
    }
    return 0;
}
