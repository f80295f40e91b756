#include "geometry/LineClipping.h"

#include <algorithm>
#include <cmath>

#include "geometry/PortableMath.h"
#include "render/PFInfo.h"

namespace Linestra {

bool SegmentIntersectRectangle(float left, float bottom, float right, float top, float x0, float y0, float x1,
                               float y1)
{
    // Clip the segment's x range to the rectangle's.
    const float xmax = std::min(std::max(x0, x1), right);
    const float xmin = std::max(std::min(x0, x1), left);
    if (xmin > xmax)
        return false;

    // The segment's y range over the clipped x range; a (nearly) vertical
    // segment keeps the y values of its ends.
    float ya;
    float yb;
    if (static_cast<double>(std::fabs(x1 - x0)) > 1e-7) {
        const float slope = (y1 - y0) / (x1 - x0);
        const float intercept = y0 - x0 * slope;
        ya = xmin * slope + intercept;
        yb = xmax * slope + intercept;
    } else {
        ya = y0;
        yb = y1;
    }
    return std::max(bottom, std::min(ya, yb)) <= std::min(top, std::max(ya, yb));
}

bool lineSegIsInFrame(Line* line, PFInfo* info)
{
    // The test measures y up from the bottom edge; the frame maps onto itself
    // under that flip.
    const float frameWidth = static_cast<float>(info->width);
    const float frameHeight = static_cast<float>(info->height);
    return SegmentIntersectRectangle(0.0f, 0.0f, frameWidth, frameHeight, line->start.x, frameHeight - line->start.y,
                                     line->strokeEnd.x, frameHeight - line->strokeEnd.y);
}

float rotate_point_about_origin_return_y(float x, float y, float angle)
{
    float sine = 0.0f;
    float cosine = 0.0f;
    PortableMath::sinCos(angle, sine, cosine);
    return x * sine + y * cosine;
}

LineSegmentIterator::LineSegmentIterator(Line line_, PFInfo* info_)
    : pos(line_.start), inFrame(line_.startInFrame), line(line_), info(info_)
{
    // Nearest To Point: remember the path position of the line whose start
    // lies nearest to the Point; on a tie the line made first keeps it. A
    // distance that is not a number never wins.
    if (info->originNearestToPoint) {
        const double distance = PortableMath::hypot(info->originPointX - static_cast<double>(line.start.x),
                                                    info->originPointY - static_cast<double>(line.start.y));
        if (distance < info->originBestDistance) {
            info->originPathPosition = line.pathPosition;
            info->originBestDistance = distance;
        }
    }
}

} // namespace Linestra
