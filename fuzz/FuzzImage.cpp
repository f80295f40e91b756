// Image files through the stand-in host's reader (ImageFile::Read): refused
// with an ImageError naming the file, or read and converted to a buffer. The
// first byte chooses the extension, which chooses the reader.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "harness/images/Images.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const char* const extensions[] = {".png", ".exr", ".tif", ".jpg", ".pam", ".pfm", ".ppm", ".bmp"};
    const std::string path = fuzzsupport::ScratchFile(extensions[data[0] % 8]);
    if (!fuzzsupport::WriteFile(path, data + 1, size - 1))
        return 0;
    try {
        const auto image = harness::ImageFile::Read(path);
        if (image->width() < 1 || image->height() < 1 || image->width() > harness::kMaxImageSide ||
            image->height() > harness::kMaxImageSide)
            __builtin_trap();
        (void)image->toWorld(data[0] & 8 ? PF_PixelFormat_ARGB128 : PF_PixelFormat_ARGB32);
    } catch (const harness::ImageError&) {
    }
    std::remove(path.c_str());
    return 0;
}
