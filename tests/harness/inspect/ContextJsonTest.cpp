#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "geometry/LineClipping.h"
#include "harness/inspect/ContextJson.h"
#include "render/PFInfo.h"

TEST(ContextJson, EveryFieldUnderItsNameInRecordOrder)
{
    const std::vector<std::string> expected{
        "inputWorld", "outputWorld", "width", "height", "strokeLength", "maxLineLength", "inputPitch",
        "outputPitch", "toEdge", "textureOffsetDistance", "reverseLines", "useOriginalFrame", "directionSignMode",
        "backgroundMode", "pathId", "mirrorTileAtEdge", "areaSampleOriginalX", "startShift", "scaleXGradient",
        "scaleX", "scaleXStart", "scaleXEnd", "scaleY", "repeatMirroredX", "repeatMirroredY", "stopFadeAtEdge",
        "areaSamplingEnabled", "areaSampleTextureX", "areaSampleTextureY", "useOwnerTables",
        "flipTextureVertically", "flipTextureHorizontally", "startGapLimit", "endGapLimit", "textureOffset",
        "fadeCurve", "fadeIn", "fadeOut", "scaleXSampleCount", "scaleXSampleStep", "outputPixelCount",
        "segLengthFrequency", "lineDensityFactor", "iterators", "iteratorCount", "textureWorld",
        "doubledTextureWorld", "pathLength", "texturePitch", "paintedMask", "bucketSpacing", "segmentLengths",
        "segmentEnds", "segmentCount", "pathIsOpen", "pixelFormat", "lines", "lineCount", "bucketCount",
        "bucketFirstLine", "bucketLineCount", "ownerRanks", "matchTolerance", "searchRadius",
        "textureHeight", "originNearestToPoint", "originPointX", "originPointY", "originPathPosition",
        "originBestDistance", "diagonal", "ownerLeft", "ownerTop", "ownerWidth", "ownerHeight"};
    PFInfo info{};
    const nlohmann::ordered_json json = inspect::ContextJson(info);
    std::vector<std::string> keys;
    for (const auto& item : json.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, expected);
}

TEST(ContextJson, NumbersFlagsAndArrays)
{
    PFInfo info{};
    info.startGapLimit = 0.35f;
    info.strokeLength = 150.0f;
    info.scaleXSampleStep = std::numeric_limits<float>::infinity();
    info.areaSampleTextureY = true;
    info.pathLength = 754.0880150690326;
    info.originBestDistance = std::numeric_limits<double>::quiet_NaN();
    info.diagonal = 734;
    Linestra::LineSegmentIterator walkers[3]{};
    info.iterators = walkers;
    info.iteratorCount = 3;

    const nlohmann::ordered_json json = inspect::ContextJson(info);
    EXPECT_EQ(json["startGapLimit"].dump(), "0.35"); // the float's shortest text, not 0.3499999940395355
    EXPECT_EQ(json["strokeLength"], 150.0);
    EXPECT_EQ(json["scaleXSampleStep"], "inf");
    EXPECT_EQ(json["originBestDistance"], "nan");
    EXPECT_EQ(json["areaSampleTextureY"], true);
    EXPECT_EQ(json["pathLength"], 754.0880150690326);
    EXPECT_EQ(json["diagonal"], 734);
    EXPECT_EQ(json["iterators"]["length"], 3);
    EXPECT_TRUE(json["segmentLengths"].is_null());
    EXPECT_TRUE(json["inputWorld"].is_null());
}
