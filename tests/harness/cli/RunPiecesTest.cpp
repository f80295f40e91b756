// The pieces of linestra-render that are not the host: the frame writer,
// the progress bar, the phases of --stats and the capture of the module's
// standard output.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "harness/cli/FrameWriter.h"
#include "harness/cli/Progress.h"
#include "harness/cli/RunStats.h"
#include "harness/cli/StdoutCapture.h"

namespace harness {
namespace {

std::shared_ptr<const OwnedWorld> Picture()
{
    return std::make_shared<const OwnedWorld>(4, 4, PF_PixelFormat_ARGB32);
}

TEST(FrameWriter, WritesOneFrameAtATimeInOrderAndStopsAtTheFirstFailure)
{
    std::atomic<int> writing{0}, mostAtOnce{0};
    std::vector<std::string> order;
    FrameWriter writer([&](const OwnedWorld&, const std::string& path) {
        mostAtOnce = std::max(mostAtOnce.load(), ++writing);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        order.push_back(path);
        --writing;
        if (path == "f2")
            throw std::runtime_error("cannot write image \"f2\": disk full");
    });
    writer.submit(0, Picture(), "f0");
    writer.submit(1, Picture(), "f1");
    writer.submit(2, Picture(), "f2");
    // The failure of frame 2 comes back, naming it, at the next hand-over
    // or at the end; nothing after it is written.
    try {
        writer.submit(3, Picture(), "f3");
        writer.finish();
        FAIL() << "the failed write was not reported";
    } catch (const FrameWriteError& e) {
        EXPECT_EQ(e.frame(), 2);
        EXPECT_STREQ(e.what(), "frame 2: cannot write image \"f2\": disk full");
    }
    EXPECT_THROW(writer.finish(), FrameWriteError);
    EXPECT_EQ(order, (std::vector<std::string>{"f0", "f1", "f2"}));
    EXPECT_EQ(writer.written(), (std::vector<std::string>{"f0", "f1"}));
    EXPECT_EQ(mostAtOnce.load(), 1);
}

TEST(FrameWriter, HoldsAtMostTheFrameBeingWrittenWhileTheNextRenders)
{
    // submit() waits while the previous frame is being written, so a run
    // holds the picture being written and the one just rendered, no more.
    std::atomic<int> alive{0}, mostAlive{0};
    FrameWriter writer([&](const OwnedWorld&, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    for (int frame = 0; frame < 20; ++frame) {
        mostAlive = std::max(mostAlive.load(), ++alive);
        std::shared_ptr<const OwnedWorld> picture(new OwnedWorld(4, 4, PF_PixelFormat_ARGB32),
                                                  [&](const OwnedWorld* p) {
                                                      --alive;
                                                      delete p;
                                                  });
        writer.submit(frame, std::move(picture), "f");
    }
    writer.finish();
    EXPECT_LE(mostAlive.load(), 2);
    EXPECT_EQ(alive.load(), 0);
    EXPECT_EQ(writer.written().size(), 20u);
}

TEST(Progress, BarShowsPercentFrameDoneElapsedAndTimeLeft)
{
    BarState s;
    s.fraction = 0.475;
    s.frame = 12;
    s.framesDone = 11;
    s.frameCount = 25;
    s.elapsedSeconds = 1.6;
    s.leftSeconds = 1.77;
    const std::string line = FormatBar(s, 100);
    EXPECT_NE(line.find(" 47%"), std::string::npos) << line;
    EXPECT_NE(line.find("frame 12"), std::string::npos) << line;
    EXPECT_NE(line.find("11/25 done"), std::string::npos) << line;
    EXPECT_NE(line.find("1.6 s"), std::string::npos) << line;
    EXPECT_NE(line.find("about 1.8 s left"), std::string::npos) << line;
    EXPECT_EQ(line.front(), '[');
    // A narrow terminal drops the bar, never the numbers, and the line never
    // wraps.
    const std::string narrow = FormatBar(s, 40);
    EXPECT_LE(narrow.size(), 40u);
    EXPECT_EQ(narrow.rfind(" 47%", 0), 0u) << narrow;
    EXPECT_EQ(FormatDuration(125), "2 min 05 s");
    EXPECT_EQ(FormatDuration(3725), "1 h 02 min");
}

TEST(Progress, IterationsAdvanceFromTheLastReportAndNeverGoBack)
{
    RunProgress progress(RunProgress::Style::None, 2);
    progress.startFrame(0);
    progress.effectReport(15, 100);
    EXPECT_DOUBLE_EQ(progress.frameFraction(), 0.15);
    progress.effectReport(80, 100);
    // Between 80 and 100 the effect says nothing; iterations carry the bar.
    progress.iterations(50, 100);
    EXPECT_DOUBLE_EQ(progress.frameFraction(), 0.9);
    progress.iterations(25, 100); // a late report of another worker
    EXPECT_DOUBLE_EQ(progress.frameFraction(), 0.9);
    progress.frameDone();
    progress.startFrame(1);
    EXPECT_DOUBLE_EQ(progress.frameFraction(), 0.0);
}

TEST(Progress, WithoutATerminalEachFramePrintsOneLineAndMessagesPassThrough)
{
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        RunProgress progress(RunProgress::Style::Lines, 2, out);
        for (int frame : {4, 5}) {
            progress.startFrame(frame);
            progress.effectReport(60, 100);
            progress.message("effect text");
            progress.frameDone();
        }
        progress.finish();
    }
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(out);
    EXPECT_EQ(text.find('\r'), std::string::npos) << text;
    EXPECT_EQ(text.find('\033'), std::string::npos) << text;
    EXPECT_NE(text.find("effect text\nframe 4 done in"), std::string::npos) << text;
    EXPECT_NE(text.find("(1/2, 50%)"), std::string::npos) << text;
    EXPECT_NE(text.find("frame 5 done in"), std::string::npos) << text;
    EXPECT_NE(text.find("(2/2, 100%)"), std::string::npos) << text;
}

TEST(RunStats, PhasesRunBetweenMilestoneReportsAndFoldTheRisingOnesIn)
{
    const std::vector<ProgressMark> marks{{0, 1.0},  {15, 3.0},  {17, 4.0}, {40, 9.0},
                                          {60, 13.0}, {80, 14.5}, {100, 30.5}};
    const auto phases = PhaseTimes(marks);
    ASSERT_EQ(phases.size(), 4u);
    EXPECT_EQ(phases[0], (std::pair<std::string, double>{"0-15", 2.0}));
    EXPECT_EQ(phases[1], (std::pair<std::string, double>{"15-60", 10.0}));
    EXPECT_EQ(phases[2], (std::pair<std::string, double>{"60-80", 1.5}));
    EXPECT_EQ(phases[3], (std::pair<std::string, double>{"80-100", 16.0}));
    // A cancelled frame stops early: only the phases it finished.
    EXPECT_EQ(PhaseTimes({{0, 0.0}, {15, 2.0}, {20, 3.0}}).size(), 1u);

    FrameStats frame;
    frame.frame = 7;
    frame.renderMs = 30;
    frame.progress = marks;
    frame.peakRssMb = 120;
    const auto doc = StatsJson("scene.json", {frame}, 2.0);
    EXPECT_EQ(doc["frames"][0]["frame"], 7);
    EXPECT_EQ(doc["frames"][0]["phases_ms"]["80-100"], 16.0);
    EXPECT_FALSE(doc["frames"][0].contains("write_ms"));
    EXPECT_EQ(doc["peak_rss_mb"], 120.0);
    EXPECT_GT(PeakRssMb(), 0.0);
    // A scene name that is not UTF-8 (Latin-1 e acute) still gives the file.
    EXPECT_NE(StatsText("sc\xe9ne.json", {frame}, 2.0).find("\"sc\xef\xbf\xbdne.json\""), std::string::npos);
}

TEST(StdoutCapture, ModuleTextReachesTheHandlerAndNotStandardOutput)
{
    // Standard output goes to a file for the test, to see what reaches it.
    std::fflush(stdout);
    char name[] = "/tmp/linestra-stdout-XXXXXX";
    const int file = mkstemp(name);
    ASSERT_GE(file, 0);
    const int saved = dup(STDOUT_FILENO);
    dup2(file, STDOUT_FILENO);

    std::vector<std::string> lines;
    {
        StdoutCapture capture([&](const std::string& line) { lines.push_back(line); });
        EXPECT_TRUE(capture.active());
        std::printf("Time spent on that literal one thing: 8ms.\nsecond");
        std::fflush(stdout);
        capture.writeOut("asked for\n");
    }
    std::printf("after\n");
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    char buffer[256] = {};
    const ssize_t n = pread(file, buffer, sizeof buffer - 1, 0);
    close(file);
    unlink(name);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), "asked for\nafter\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"Time spent on that literal one thing: 8ms.", "second"}));
}

} // namespace
} // namespace harness
