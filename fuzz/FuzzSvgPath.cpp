// SVG path data: refused with a runtime_error (bad data) or invalid_argument
// (a coordinate that is not finite), or converted; the path is measured at
// full and at a reduced render scale. The first byte chooses the subpath
// and the lookup table's size.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "FuzzSupport.h"
#include "harness/masks/MaskPath.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int choice = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        const harness::MaskPath path = harness::SvgPath(text, choice % 4 == 0 ? -1 : choice % 4 - 1);
        fuzzsupport::Measure(path, choice);
        fuzzsupport::Measure(path.scaled(1, 3, 1, 3), choice);
    } catch (const std::runtime_error&) {
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
