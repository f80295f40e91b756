// Whole renders of the effect linked into the test, through the stand-in
// host, with the render's tables captured just before they are freed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"
#include "geometry/DrawingPass.h"
#include "geometry/FineLine.h"
#include "geometry/Line.h"
#include "render/PFInfo.h"

namespace rendertest {

// What a render's tables looked like after the drawing pass.
struct TableSnapshot {
    bool seen = false;
    std::uint32_t lineCount = 0;
    std::uint32_t bucketCount = 0;
    std::vector<std::uint32_t> bucketFirstLine;
    std::vector<std::uint32_t> bucketLineCount;
    std::vector<float> angleDeltas;
    std::vector<Linestra::FloatPoint> directions;
    std::vector<Linestra::FloatPoint> starts;
    std::vector<float> pathDistances;
    std::uint16_t maxLineLength = 0;
    std::uint64_t iteratorCount = 0;
    std::uint64_t ownedPixels = 0;
    std::uint64_t paintedPixels = 0;
};

inline void captureTables(const PFInfo* info, void* context)
{
    auto* snapshot = static_cast<TableSnapshot*>(context);
    snapshot->seen = true;
    snapshot->lineCount = info->lineCount;
    snapshot->bucketCount = info->bucketCount;
    snapshot->bucketFirstLine.assign(info->bucketFirstLine, info->bucketFirstLine + info->bucketCount);
    snapshot->bucketLineCount.assign(info->bucketLineCount, info->bucketLineCount + info->bucketCount);
    snapshot->angleDeltas.clear();
    snapshot->directions.clear();
    snapshot->starts.clear();
    snapshot->pathDistances.clear();
    for (std::uint32_t i = 0; i < info->lineCount; ++i) {
        snapshot->angleDeltas.push_back(info->lines[i].angleDelta);
        snapshot->directions.push_back(info->lines[i].direction);
        snapshot->starts.push_back(info->lines[i].start);
        snapshot->pathDistances.push_back(info->lines[i].pathDistance);
    }
    snapshot->maxLineLength = info->maxLineLength;
    snapshot->iteratorCount = info->iteratorCount;
    if (info->ownerRanks != nullptr)
        for (std::int64_t p = 0; p < std::int64_t{info->ownerWidth} * info->ownerHeight; ++p)
            snapshot->ownedPixels += info->ownerRanks[p] != kNoOwner ? 1u : 0u;
    for (std::uint32_t p = 0; p < info->outputPixelCount; ++p)
        snapshot->paintedPixels += (info->paintedMask[p >> 6].load() >> (p & 63u)) & 1u;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.load(harness::LinkedEffect());
        ASSERT_EQ(host.setup(), PF_Err_NONE);
        host.onPreRenderData([this](void* data) {
            auto* info = static_cast<PFInfo*>(data);
            info->renderObserver = &captureTables;
            info->renderObserverContext = &tables;
        });
    }

    // A picture whose pixels differ from each other, in the asked format.
    static harness::OwnedWorld gradient(A_long width, A_long height, PF_PixelFormat format)
    {
        harness::OwnedWorld world(width, height, format);
        for (A_long y = 0; y < height; ++y) {
            for (A_long x = 0; x < width; ++x) {
                const double r = static_cast<double>(x) / static_cast<double>(width);
                const double g = static_cast<double>(y) / static_cast<double>(height);
                const double b = static_cast<double>((x * 7 + y * 13) % 64) / 63.0;
                if (format == PF_PixelFormat_ARGB32)
                    world.row<PF_Pixel>(y)[x] = PF_Pixel{255, static_cast<A_u_char>(r * 255.0),
                                                         static_cast<A_u_char>(g * 255.0),
                                                         static_cast<A_u_char>(b * 255.0)};
                else if (format == PF_PixelFormat_ARGB64)
                    world.row<PF_Pixel16>(y)[x] = PF_Pixel16{32768, static_cast<A_u_short>(r * 32768.0),
                                                             static_cast<A_u_short>(g * 32768.0),
                                                             static_cast<A_u_short>(b * 32768.0)};
                else
                    world.row<PF_PixelFloat>(y)[x] =
                        PF_PixelFloat{1.0f, static_cast<float>(r), static_cast<float>(g), static_cast<float>(b)};
            }
        }
        return world;
    }

    void useGradientInput(A_long width, A_long height)
    {
        host.setInput([width, height](PF_PixelFormat format) { return gradient(width, height, format); }, width,
                      height);
    }

    harness::FrameResult render(int bitDepth = 8, harness::Downsample downsample = {})
    {
        tables = TableSnapshot{};
        harness::FrameResult frame = host.renderFrame(0.0, bitDepth, downsample);
        EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
        EXPECT_EQ(frame.deleteCalls, 1);
        return frame;
    }

    harness::Host host;
    TableSnapshot tables;
};

// Rows of a buffer without their padding.
inline std::vector<unsigned char> pixelBytes(const harness::OwnedWorld& world)
{
    const std::size_t rowBytes = static_cast<std::size_t>(world.width()) * harness::BytesPerPixel(world.format());
    std::vector<unsigned char> bytes;
    bytes.reserve(rowBytes * static_cast<std::size_t>(world.height()));
    for (A_long y = 0; y < world.height(); ++y) {
        const auto* row = world.row<unsigned char>(y);
        bytes.insert(bytes.end(), row, row + rowBytes);
    }
    return bytes;
}

} // namespace rendertest
