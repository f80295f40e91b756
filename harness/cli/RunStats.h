// Timings of a linestra-render run for --stats: per frame the time of each
// command, the time between the effect's progress reports (its phases as
// the host sees them), the write and the process's peak memory, as JSON
// whose field names a benchmark can share.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace harness {

// One progress report of the effect: its value (of 100) and when it came,
// in milliseconds from the start of the frame's render command.
struct ProgressMark {
    long value = 0;
    double ms = 0;
};

struct FrameStats {
    int frame = 0;
    double preRenderMs = 0;
    double renderMs = 0;
    double writeMs = -1; // below 0: not written (yet)
    std::vector<ProgressMark> progress;
    double peakRssMb = 0;
};

// The effect's phases from its reports: the time from one milestone report
// to the next, named "A-B" (e.g. "15-60"). Milestones are the values the
// effect reports between its passes (0, 15, 60, 80, 100); reports between
// them (the fine line table's rising percentage) belong to the phase they
// fall in.
std::vector<std::pair<std::string, double>> PhaseTimes(const std::vector<ProgressMark>& progress);

// The process's peak resident memory in megabytes (VmHWM of
// /proc/self/status); 0 where the system does not say.
double PeakRssMb();

// The --stats document: the scene, the run's totals and one entry per frame.
nlohmann::ordered_json StatsJson(const std::string& scene, const std::vector<FrameStats>& frames,
                                 double totalSeconds);
// The --stats file's text: StatsJson indented. A scene file's name need not
// be UTF-8; bytes JSON cannot hold are written as U+FFFD.
std::string StatsText(const std::string& scene, const std::vector<FrameStats>& frames, double totalSeconds);

} // namespace harness
