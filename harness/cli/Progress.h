// The progress of a linestra-render run: one bar for the whole run, fed by
// the effect's own progress reports and, where the effect reports nothing
// (while its lines are drawn), by the iterations of iterate_generic that
// are done.
//
// On a terminal the bar is redrawn in place:
//
//     [=========>          ]  47%  frame 12  11/25 done  1.6 s  about 1.8 s left
//
// elsewhere (a pipe, a log file) each finished frame prints one plain line;
// with Style::None nothing is printed. Text that must appear while the bar
// shows (the effect's diagnostic output with --verbose) goes through
// message(), which prints it above the bar.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace harness {

// What a bar shows; FormatBar draws it.
struct BarState {
    double fraction = 0;     // of the whole run, 0 to 1
    int frame = 0;           // the frame rendering now
    int framesDone = 0;
    int frameCount = 0;
    double elapsedSeconds = 0;
    double leftSeconds = -1; // below 0: not known yet
};

// One line of at most `width` columns (at least the percentage and the frame).
std::string FormatBar(const BarState& state, int width);

// "0.4 s", "12.3 s", "2 min 05 s", "1 h 02 min".
std::string FormatDuration(double seconds);

class RunProgress {
public:
    enum class Style { Bar, Lines, None };

    // `out` is where the bar or the lines go (standard error). `columns` is
    // the width of the terminal for the bar.
    RunProgress(Style style, int frameCount, std::FILE* out = stderr, int columns = 80);

    // A frame starts: its number, and how far within it the bar starts (0).
    void startFrame(int frame);
    // The effect's progress call (current of total), from any thread.
    void effectReport(long current, long total);
    // `done` of `total` iterations of iterate_generic finished, from any
    // worker thread. Advances the bar from the last report of the effect
    // toward the end of the frame.
    void iterations(long long done, long long total);
    // The frame is rendered (and handed to the writer).
    void frameDone();
    // Prints one line of text above the bar (or as it is without a bar).
    void message(const std::string& line);
    // Clears the bar; later calls print nothing.
    void finish();

    Style style() const { return style_; }
    // How far the current frame is, 0 to 1 (for tests).
    double frameFraction() const;

private:
    BarState stateLocked() const;
    void drawLocked(bool force);
    void clearLocked();

    Style style_;
    int frameCount_;
    std::FILE* out_;
    int columns_;
    mutable std::mutex mutex_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::chrono::steady_clock::time_point frameStart_{};
    int frame_ = 0;
    int framesDone_ = 0;
    double reported_ = 0;     // the effect's last report, 0 to 1
    double inFrame_ = 0;      // shown progress within the frame, never going back
    bool drawn_ = false;
    bool finished_ = false;
};

} // namespace harness
