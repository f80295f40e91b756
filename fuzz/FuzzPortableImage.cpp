// The portable image reader (the image files of builds without an imaging
// library): stb_image, tinyexr and the harness's own Netpbm and PFM reader,
// chosen by the first bytes. Each input is refused with a FileError or read
// into samples that match the size it declares.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "harness/images/PortableImageFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzzsupport::ScratchFile(".pam");
    if (!fuzzsupport::WriteFile(path, data, size))
        return 0;
    try {
        const harness::portable::Samples s = harness::portable::ReadSamples(path);
        const std::size_t count = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height) *
                                  static_cast<std::size_t>(s.channels);
        const std::size_t held = s.bitDepth == 8 ? s.values8.size() : s.bitDepth == 16 ? s.values16.size()
                                                                                      : s.valuesFloat.size();
        if (held != count)
            __builtin_trap();
    } catch (const harness::portable::FileError&) {
    }
    std::remove(path.c_str());
    return 0;
}
