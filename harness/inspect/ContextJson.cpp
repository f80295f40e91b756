#include "harness/inspect/ContextJson.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "render/PFInfo.h"

namespace inspect {

namespace {

using Json = nlohmann::ordered_json;

Json nonFinite(double value)
{
    if (std::isnan(value))
        return "nan";
    return value > 0 ? "inf" : "-inf";
}

Json number(double value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    return value;
}

// The float's shortest decimal text, read back as a double, so that 0.35f
// prints as 0.35 and still names exactly the stored float.
Json number(float value)
{
    if (!std::isfinite(value))
        return nonFinite(static_cast<double>(value));
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

Json array(const void* pointer, std::uint64_t length)
{
    if (pointer == nullptr)
        return nullptr;
    return Json{{"length", length}};
}

Json image(const void* pointer)
{
    if (pointer == nullptr)
        return nullptr;
    return "set";
}

} // namespace

Json ContextJson(const PFInfo& info)
{
    // Entries the render's tables hold, for the arrays the context does not
    // own: their counts are set by the render command together with them.
    const std::uint64_t pixels = info.outputPixelCount;
    const std::uint64_t maskWords = (pixels + 63) / 64;

    Json json;
    json["inputWorld"] = image(info.inputWorld);
    json["outputWorld"] = image(info.outputWorld);
    json["width"] = info.width;
    json["height"] = info.height;
    json["strokeLength"] = number(info.strokeLength);
    json["maxLineLength"] = info.maxLineLength;
    json["inputPitch"] = info.inputPitch;
    json["outputPitch"] = info.outputPitch;
    json["toEdge"] = info.toEdge;
    json["textureOffsetDistance"] = number(info.textureOffsetDistance);
    json["reverseLines"] = info.reverseLines;
    json["useOriginalFrame"] = info.useOriginalFrame;
    json["directionSignMode"] = info.directionSignMode;
    json["backgroundMode"] = info.backgroundMode;
    json["pathId"] = info.pathId;
    json["mirrorTileAtEdge"] = info.mirrorTileAtEdge;
    json["areaSampleOriginalX"] = info.areaSampleOriginalX;
    json["startShift"] = number(info.startShift);
    json["scaleXGradient"] = info.scaleXGradient;
    json["scaleX"] = number(info.scaleX);
    json["scaleXStart"] = number(info.scaleXStart);
    json["scaleXEnd"] = number(info.scaleXEnd);
    json["scaleY"] = number(info.scaleY);
    json["repeatMirroredX"] = info.repeatMirroredX;
    json["repeatMirroredY"] = info.repeatMirroredY;
    json["stopFadeAtEdge"] = info.stopFadeAtEdge;
    json["areaSamplingEnabled"] = info.areaSamplingEnabled;
    json["areaSampleTextureX"] = info.areaSampleTextureX;
    json["areaSampleTextureY"] = info.areaSampleTextureY;
    json["useOwnerTables"] = info.useOwnerTables;
    json["flipTextureVertically"] = info.flipTextureVertically;
    json["flipTextureHorizontally"] = info.flipTextureHorizontally;
    json["startGapLimit"] = number(info.startGapLimit);
    json["endGapLimit"] = number(info.endGapLimit);
    json["textureOffset"] = number(info.textureOffset);
    json["fadeCurve"] = number(info.fadeCurve);
    json["fadeIn"] = number(info.fadeIn);
    json["fadeOut"] = number(info.fadeOut);
    json["scaleXSampleCount"] = number(info.scaleXSampleCount);
    json["scaleXSampleStep"] = number(info.scaleXSampleStep);
    json["outputPixelCount"] = info.outputPixelCount;
    json["segLengthFrequency"] = info.segLengthFrequency;
    json["lineDensityFactor"] = number(info.lineDensityFactor);
    json["iterators"] = array(info.iterators, info.iteratorCount);
    json["iteratorCount"] = info.iteratorCount;
    json["textureWorld"] = image(info.textureWorld);
    json["doubledTextureWorld"] = image(info.doubledTextureWorld);
    json["pathLength"] = number(info.pathLength);
    json["texturePitch"] = info.texturePitch;
    json["paintedMask"] = array(info.paintedMask, maskWords);
    json["bucketSpacing"] = number(info.bucketSpacing);
    json["segmentLengths"] = array(info.segmentLengths, info.segmentCount);
    json["segmentEnds"] = array(info.segmentEnds, info.segmentCount);
    json["segmentCount"] = info.segmentCount;
    json["pathIsOpen"] = info.pathIsOpen;
    json["pixelFormat"] = info.pixelFormat;
    json["lines"] = array(info.lines, info.lineCount);
    json["lineCount"] = info.lineCount;
    json["bucketCount"] = info.bucketCount;
    json["bucketFirstLine"] = array(info.bucketFirstLine, info.bucketCount);
    json["bucketLineCount"] = array(info.bucketLineCount, info.bucketCount);
    json["ownerRanks"] = array(info.ownerRanks, static_cast<std::uint64_t>(std::max(info.ownerWidth, 0)) *
                                                    static_cast<std::uint64_t>(std::max(info.ownerHeight, 0)));
    json["matchTolerance"] = number(info.matchTolerance);
    json["searchRadius"] = info.searchRadius;
    json["textureHeight"] = info.textureHeight;
    json["originNearestToPoint"] = info.originNearestToPoint;
    json["originPointX"] = number(info.originPointX);
    json["originPointY"] = number(info.originPointY);
    json["originPathPosition"] = number(info.originPathPosition);
    json["originBestDistance"] = number(info.originBestDistance);
    json["diagonal"] = info.diagonal;
    json["ownerLeft"] = info.ownerLeft;
    json["ownerTop"] = info.ownerTop;
    json["ownerWidth"] = info.ownerWidth;
    json["ownerHeight"] = info.ownerHeight;
    return json;
}

} // namespace inspect
