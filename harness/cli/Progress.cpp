#include "harness/cli/Progress.h"

#include <algorithm>
#include <cmath>

namespace harness {

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Redraws of the bar at most this often; frame boundaries always redraw.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

} // namespace

std::string FormatDuration(double seconds)
{
    char text[48];
    if (!(seconds >= 0))
        seconds = 0;
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else if (seconds < 3600) {
        const long long whole = std::llround(seconds);
        std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
    } else {
        const long long minutes = std::llround(seconds / 60);
        std::snprintf(text, sizeof text, "%lld h %02lld min", minutes / 60, minutes % 60);
    }
    return text;
}

std::string FormatBar(const BarState& s, int width)
{
    const double fraction = std::clamp(s.fraction, 0.0, 1.0);
    const int percent = static_cast<int>(std::floor(fraction * 100.0));
    char head[16];
    std::snprintf(head, sizeof head, "%3d%%", percent);
    std::string tail = "  frame " + std::to_string(s.frame) + "  " + std::to_string(s.framesDone) + "/" +
                       std::to_string(s.frameCount) + " done  " + FormatDuration(s.elapsedSeconds);
    if (s.leftSeconds >= 0)
        tail += "  about " + FormatDuration(s.leftSeconds) + " left";
    // The bar takes what is left of the line, between 10 and 30 columns.
    const int room = width - static_cast<int>(tail.size()) - 4 - 3;
    std::string line;
    if (room >= 10) {
        const int barWidth = std::min(room, 30);
        const int filled = static_cast<int>(fraction * barWidth);
        std::string bar(static_cast<std::size_t>(filled), '=');
        if (filled < barWidth)
            bar += '>';
        bar.resize(static_cast<std::size_t>(barWidth), ' ');
        line = "[" + bar + "] ";
    }
    line += head + tail;
    if (width > 0 && static_cast<int>(line.size()) > width)
        line.resize(static_cast<std::size_t>(std::max(width, 4)));
    return line;
}

RunProgress::RunProgress(Style style, int frameCount, std::FILE* out, int columns)
    : style_(style), frameCount_(std::max(frameCount, 1)), out_(out), columns_(columns > 20 ? columns : 80),
      start_(Clock::now())
{
}

void RunProgress::startFrame(int frame)
{
    std::lock_guard lock(mutex_);
    frame_ = frame;
    reported_ = 0;
    inFrame_ = 0;
    frameStart_ = Clock::now();
    drawLocked(true);
}

void RunProgress::effectReport(long current, long total)
{
    if (total <= 0)
        return;
    std::lock_guard lock(mutex_);
    reported_ = std::clamp(static_cast<double>(current) / static_cast<double>(total), 0.0, 1.0);
    inFrame_ = std::max(inFrame_, reported_);
    drawLocked(false);
}

void RunProgress::iterations(long long done, long long total)
{
    if (total <= 0)
        return;
    std::lock_guard lock(mutex_);
    const double part = std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
    inFrame_ = std::max(inFrame_, reported_ + (1.0 - reported_) * part);
    drawLocked(false);
}

void RunProgress::frameDone()
{
    std::lock_guard lock(mutex_);
    ++framesDone_;
    inFrame_ = 0;
    reported_ = 0;
    if (style_ == Style::Lines && !finished_) {
        const BarState s = stateLocked();
        std::string line = "frame " + std::to_string(frame_) + " done in " +
                           FormatDuration(Seconds(Clock::now() - frameStart_)) + " (" +
                           std::to_string(framesDone_) + "/" + std::to_string(frameCount_) + ", " +
                           std::to_string(static_cast<int>(std::floor(s.fraction * 100.0))) + "%), " +
                           FormatDuration(s.elapsedSeconds) + " elapsed";
        if (s.leftSeconds >= 0 && framesDone_ < frameCount_)
            line += ", about " + FormatDuration(s.leftSeconds) + " left";
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
        return;
    }
    drawLocked(true);
}

void RunProgress::message(const std::string& line)
{
    std::lock_guard lock(mutex_);
    if (style_ == Style::Bar && drawn_)
        clearLocked();
    std::fprintf(out_, "%s\n", line.c_str());
    if (style_ == Style::Bar && !finished_)
        drawLocked(true);
    else
        std::fflush(out_);
}

void RunProgress::finish()
{
    std::lock_guard lock(mutex_);
    if (style_ == Style::Bar && drawn_)
        clearLocked();
    finished_ = true;
}

double RunProgress::frameFraction() const
{
    std::lock_guard lock(mutex_);
    return inFrame_;
}

BarState RunProgress::stateLocked() const
{
    BarState s;
    s.frame = frame_;
    s.framesDone = framesDone_;
    s.frameCount = frameCount_;
    s.fraction = std::min(1.0, (framesDone_ + inFrame_) / frameCount_);
    s.elapsedSeconds = Seconds(Clock::now() - start_);
    // The time left is known once some of the run is done: the rest at the
    // pace so far.
    if (s.fraction > 0.001)
        s.leftSeconds = s.elapsedSeconds * (1.0 - s.fraction) / s.fraction;
    return s;
}

void RunProgress::drawLocked(bool force)
{
    if (style_ != Style::Bar || finished_)
        return;
    const Clock::time_point now = Clock::now();
    if (!force && drawn_ && now - lastDraw_ < kRedrawInterval)
        return;
    lastDraw_ = now;
    const std::string line = FormatBar(stateLocked(), columns_ - 1);
    std::fprintf(out_, "\r%s\033[K", line.c_str());
    std::fflush(out_);
    drawn_ = true;
}

void RunProgress::clearLocked()
{
    std::fprintf(out_, "\r\033[K");
    std::fflush(out_);
    drawn_ = false;
}

} // namespace harness
