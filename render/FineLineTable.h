// The fine line table: a dense, path-ordered array of lines covering the
// whole mask path, grouped into buckets of equal path length so that the
// drawing pass finds the lines near a path distance in constant time. The
// table is denser where the fan of lines turns faster.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "HostAPI.h"
#include "geometry/FineLine.h"
#include "geometry/Line.h"

struct PFInfo;

// The host's path, checked out and prepared segment by segment.
struct PreparedPath {
    PF_InData* in_data;
    const PF_PathDataSuite1* pathData;
    PF_PathOutlinePtr path;
    PF_PathSegPrepPtr* segmentPreps; // one prepared handle per segment

    // Point and first derivative at `position` along `segment`, through a
    // copy of that segment's prepared handle.
    PF_Err evaluate(std::uint32_t segment, double position, double* x, double* y, double* dx, double* dy) const;
};

// The table's lines in one block that grows in place where it can: a long
// path's table is the largest allocation of a render, and the system can
// move a large block's pages instead of copying them, so the old and the
// new storage never exist side by side (render/TableMemory.h). Throws
// std::bad_alloc when memory runs out.
class FineLineStore {
public:
    FineLineStore() = default;
    FineLineStore(const FineLineStore&) = delete;
    FineLineStore& operator=(const FineLineStore&) = delete;
    ~FineLineStore();

    void reserve(std::size_t capacity);
    void push_back(const Linestra::FineLine& line)
    {
        if (size_ == capacity_)
            reserve(capacity_ + capacity_ / 4 + 1024);
        lines_[size_++] = line;
    }
    std::size_t size() const { return size_; }
    const Linestra::FineLine* data() const { return lines_; }
    Linestra::FineLine* data() { return lines_; }
    const Linestra::FineLine& operator[](std::size_t i) const { return lines_[i]; }
    const Linestra::FineLine& back() const { return lines_[size_ - 1]; }

private:
    Linestra::FineLine* lines_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

struct FineLineTable {
    FineLineStore lines;
    std::vector<std::uint32_t> bucketFirstLine;
    std::vector<std::uint32_t> bucketLineCount;
    double layoutSeconds = 0.0; // time spent in segment lookups
};

// Number of buckets the table reserves: ceil(pathLength / bucketSpacing).
std::uint32_t fineLineBucketReserve(const PFInfo* info);

// Fine-line count of one bucket from the turning `angleDelta` of the fan
// across it, capped at 40000. A turning that is not a number counts as 0.
std::uint32_t fineLinesPerBucket(const PFInfo* info, float angleDelta);

// Angle of a unit direction in [0, 2 pi), as the table measures the fan.
float fineLineAngle(Linestra::FloatPoint direction);

// Builds a line of the table at path distance `distance` (segment lookup
// already done) from the path point and derivative the host returned.
Linestra::Line makeFineLine(PFInfo* info, double x, double y, double dx, double dy, double distance);

// Measures the fan angle of every line of the table (its sine and cosine)
// on the host's threads, in chunks of lines through iterate_generic; within
// a chunk, a run of lines whose directions have the same bits is measured
// once.
PF_Err measureFanAngles(FineLineStore& lines, const PF_Iterate8Suite1* iterate);

// Grows the table from its line 0 (`first`, already in table.lines) to the
// end of the path. A line whose segment lookup finds the segment and
// position of the line before it is a copy of that line with its own path
// distance; every other line is evaluated through the host. Asks the host's
// abort callback once per bucket and reports progress every 20 buckets;
// stops at the first error, which it returns.
// `err` is the error already pending on entry (the table is not grown then).
// Past the memory budget it ends with out of memory and the host's message.
PF_Err buildFineLineTable(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, const PreparedPath& path,
                          FineLineTable& table, const Linestra::Line& first, PF_Err err);

// Bytes of a table of `buckets` buckets and `lines` lines.
std::uint64_t fineLineTableBytes(std::uint64_t buckets, std::uint64_t lines);
