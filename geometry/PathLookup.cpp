#include "geometry/PathLookup.h"

#include "render/PFInfo.h"

void getIPathSegAndPosAlongPathSeg(PFInfo* info, float distance, unsigned int* segmentIndex,
                                   float* positionInSegment)
{
    const unsigned int count = info->segmentCount;
    const double* ends = info->segmentEnds;
    const double target = static_cast<double>(distance);
    const unsigned int hint = *segmentIndex < count ? *segmentIndex : count - 1;

    unsigned int found = 0;
    double base = 0.0;
    if (target > ends[hint]) {
        // Forward: the first segment whose end lies beyond the distance.
        unsigned int m = hint;
        while (m < count && target >= ends[m])
            ++m;
        found = m;
        base = ends[m - 1];
    } else {
        // Backward (also for not-a-number): the first earlier end that the
        // distance lies beyond; none means segment 0.
        for (unsigned int j = hint; j-- > 0;) {
            if (target > ends[j]) {
                found = j + 1;
                base = ends[j];
                break;
            }
        }
    }
    *segmentIndex = found;
    *positionInSegment = static_cast<float>(target - base);
}

void getIPathSegAndPosAlongPathSeg_ClampedToEnd(PFInfo* info, float distance, unsigned int* segmentIndex,
                                                double* positionInSegment)
{
    float position = 0.0f;
    getIPathSegAndPosAlongPathSeg(info, distance, segmentIndex, &position);
    if (*segmentIndex >= info->segmentCount) {
        *segmentIndex = info->segmentCount - 1;
        *positionInSegment = info->segmentLengths[*segmentIndex];
    } else {
        *positionInSegment = static_cast<double>(position);
    }
}
