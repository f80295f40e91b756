// What the fuzz targets share: measuring a mask path as the host does, and
// a scratch file for readers that take a path.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "harness/masks/MaskPath.h"

namespace fuzzsupport {

// Prepares every segment (at most the first 64) and looks up a few lengths,
// as the effect's path calls would; the sanitizers and the fuzzer's timeout
// catch what goes wrong.
inline void Measure(const harness::MaskPath& path, int frequency)
{
    const int segments = std::min(path.segmentCount(), 64);
    for (int i = 0; i < segments; ++i) {
        const harness::PreparedSegment prepared = path.prepare(i, frequency);
        const double length = prepared.length();
        for (const double s : {0.0, length / 3, length / 2, length, -1.0, length + 1})
            (void)prepared.evaluate(s);
    }
}

// A file of this process for the reader under test, in memory where the
// system offers it; its extension chooses the reader.
inline std::string ScratchFile(const std::string& extension)
{
    static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return folder + "/linestra-fuzz-" + std::to_string(getpid()) + extension;
}

inline bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

} // namespace fuzzsupport
