#include "harness/cli/RunStats.h"

#include <array>
#include <cmath>
#include <fstream>

namespace harness {

namespace {

constexpr std::array<long, 5> kMilestones{0, 15, 60, 80, 100};

bool IsMilestone(long value)
{
    for (long m : kMilestones)
        if (m == value)
            return true;
    return false;
}

double Rounded(double ms)
{
    return std::round(ms * 1000.0) / 1000.0;
}

} // namespace

std::vector<std::pair<std::string, double>> PhaseTimes(const std::vector<ProgressMark>& progress)
{
    std::vector<std::pair<std::string, double>> phases;
    const ProgressMark* last = nullptr;
    for (const ProgressMark& mark : progress) {
        if (!IsMilestone(mark.value))
            continue;
        // A repeated or falling milestone starts the count again.
        if (last != nullptr && mark.value > last->value)
            phases.emplace_back(std::to_string(last->value) + "-" + std::to_string(mark.value), mark.ms - last->ms);
        last = &mark;
    }
    return phases;
}

double PeakRssMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            try {
                return std::stod(line.substr(6)) / 1024.0; // kB
            } catch (const std::exception&) {
                return 0;
            }
        }
    }
    return 0;
}

nlohmann::ordered_json StatsJson(const std::string& scene, const std::vector<FrameStats>& frames,
                                 double totalSeconds)
{
    nlohmann::ordered_json doc;
    doc["scene"] = scene;
    doc["frame_count"] = frames.size();
    doc["total_s"] = Rounded(totalSeconds);
    doc["frames_per_s"] = totalSeconds > 0 ? Rounded(static_cast<double>(frames.size()) / totalSeconds) : 0.0;
    double peak = 0;
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const FrameStats& f : frames) {
        nlohmann::ordered_json entry;
        entry["frame"] = f.frame;
        entry["pre_render_ms"] = Rounded(f.preRenderMs);
        entry["render_ms"] = Rounded(f.renderMs);
        if (f.writeMs >= 0)
            entry["write_ms"] = Rounded(f.writeMs);
        nlohmann::ordered_json phases = nlohmann::ordered_json::object();
        for (const auto& [name, ms] : PhaseTimes(f.progress))
            phases[name] = Rounded(ms);
        entry["phases_ms"] = phases;
        entry["peak_rss_mb"] = Rounded(f.peakRssMb);
        peak = std::max(peak, f.peakRssMb);
        list.push_back(entry);
    }
    doc["peak_rss_mb"] = Rounded(peak);
    doc["frames"] = list;
    return doc;
}

std::string StatsText(const std::string& scene, const std::vector<FrameStats>& frames, double totalSeconds)
{
    return StatsJson(scene, frames, totalSeconds).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace harness
