#include "geometry/Line.h"

#include "geometry/FineLine.h"

#include <cmath>

#include "geometry/PortableMath.h"
#include "render/PFInfo.h"

namespace Linestra {

Line::Line(DoublePoint anchor, double tangentX_, double tangentY_, PFInfo* info, double segmentPosition_,
           double pathPosition_, PF_PathSegPrep* segPrep_, unsigned int segmentIndex_, float segmentLength_)
    : tangentX(tangentX_),
      tangentY(tangentY_),
      slope(0.0),
      direction{0.0f, 0.0f},
      strokeLength(0.0),
      visibleLength(0.0),
      pathPosition(pathPosition_),
      segmentPosition(segmentPosition_),
      segmentLength(segmentLength_),
      startInFrame(false),
      start{0.0f, 0.0f},
      strokeEnd{0.0f, 0.0f},
      end{0.0f, 0.0f},
      angleDelta(0.0f),
      segPrep(segPrep_),
      segmentIndex(segmentIndex_)
{
    slope = tangentX / tangentY;

    // The tangent turned a quarter turn, (-tangentY, tangentX), built from the
    // slope so that the larger component is exactly 1 before normalising.
    double dirX;
    double dirY;
    if (std::fabs(tangentY) >= std::fabs(tangentX)) {
        dirX = 1.0;
        dirY = std::fabs(slope);
    } else {
        dirX = 1.0 / std::fabs(slope);
        dirY = 1.0;
    }
    if (tangentY > 0.0)
        dirX = -dirX;
    if (tangentX < 0.0)
        dirY = -dirY;
    const float unitX = static_cast<float>(dirX);
    const float unitY = static_cast<float>(dirY);
    const float inverseLength = 1.0f / PortableMath::hypot(unitX, unitY);
    direction = FloatPoint{unitX * inverseLength, unitY * inverseLength};

    // The start sits one pixel out from the path, moved further by
    // Expand/Contract Path; it is placed before any reversal so that reversed
    // lines start on the same side and run back across the path.
    const float startDistance = 1.0f - info->startShift;
    start = FloatPoint{static_cast<float>(anchor.x) + startDistance * direction.x,
                       static_cast<float>(anchor.y) + startDistance * direction.y};

    if (info->reverseLines)
        direction = FloatPoint{-direction.x, -direction.y};

    const float nominalLength = info->strokeLength;
    strokeLength = static_cast<double>(nominalLength);
    strokeEnd = FloatPoint{start.x + nominalLength * direction.x, start.y + nominalLength * direction.y};

    const float frameWidth = static_cast<float>(info->width);
    const float frameHeight = static_cast<float>(info->height);
    startInFrame = 0.0f < start.x && start.x < frameWidth && 0.0f < start.y && start.y < frameHeight;

    // Distance along the direction to the frame edge it points at. A zero
    // component gives an infinite ratio (no limit); 0 / 0 gives not-a-number,
    // which the comparisons below pass over.
    const float edgeX = direction.x > 0.0f ? std::fabs((frameWidth - start.x) / direction.x)
                                           : std::fabs(start.x / direction.x);
    const float edgeY = direction.y > 0.0f ? std::fabs((frameHeight - start.y) / direction.y)
                                           : std::fabs(start.y / direction.y);
    float visible = nominalLength;
    if (edgeX < visible)
        visible = edgeX;
    if (edgeY < visible)
        visible = edgeY;

    // A line without a direction (zero tangent) reaches no pixel; letting it
    // raise maxLineLength would make every walk of the render as long as the
    // nominal stroke length.
    const bool hasDirection = !std::isnan(direction.x) && !std::isnan(direction.y);
    if (hasDirection && static_cast<double>(visible) > static_cast<double>(info->maxLineLength))
        info->maxLineLength = static_cast<std::uint16_t>(static_cast<std::uint32_t>(visible));

    end = FloatPoint{
        static_cast<float>(static_cast<double>(start.x) + static_cast<double>(visible) * static_cast<double>(direction.x)),
        static_cast<float>(static_cast<double>(start.y) + static_cast<double>(visible) * static_cast<double>(direction.y))};
    visibleLength = static_cast<double>(visible);
}

float fanAngle(FloatPoint direction)
{
    return (direction.x < 0.0f ? kPi : 0.0f) - PortableMath::atan(direction.y / direction.x);
}

FineLine makeCompactFineLine(const Line& line)
{
    return FineLine{line.start, line.direction, 0.0f, 0.0f, line.angleDelta, static_cast<float>(line.pathPosition)};
}

void measureFanAngle(FineLine& line)
{
    const float angle = fanAngle(line.direction);
    PortableMath::sinCos(angle, line.sinAngle, line.cosAngle);
}

} // namespace Linestra
