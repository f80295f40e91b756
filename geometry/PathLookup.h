// Turning a distance along the whole mask path into a segment and a
// distance along that segment.
#pragma once

struct PFInfo;

// Finds the segment of the path that holds `distance` (arc length from the
// start of the path) and the arc length from that segment's start, using
// info->segmentEnds (cumulative end distance per segment, segmentCount >= 1).
//
// *segmentIndex is a hint on entry (the index the previous call returned) and
// the answer on return; the walk starts there, forward when the distance lies
// beyond the hint's end and backward otherwise, so a sweep over increasing
// distances costs constant time per call. A distance exactly on a segment
// boundary belongs to the later segment (at position 0) when it was reached
// walking forward, and to the earlier one (at its full length) when reached
// walking backward. A distance that is not a number walks backward and gives
// segment 0.
//
// A distance at or past the end of the path gives segmentCount (one past the
// last segment) and the excess as position; callers that evaluate the path
// there use getIPathSegAndPosAlongPathSeg_ClampedToEnd.
void getIPathSegAndPosAlongPathSeg(PFInfo* info, float distance, unsigned int* segmentIndex,
                                   float* positionInSegment);

// The lookup for a caller that evaluates the path at its answer: as
// getIPathSegAndPosAlongPathSeg, except that an answer one past the last
// segment (a distance at or beyond the path's end, which a float distance
// just below the end can round onto) becomes the end of the last segment,
// evaluated at its full length segmentLengths[last]. The position is given
// in double so that full length is kept exactly. segmentCount >= 1.
void getIPathSegAndPosAlongPathSeg_ClampedToEnd(PFInfo* info, float distance, unsigned int* segmentIndex,
                                                double* positionInSegment);
