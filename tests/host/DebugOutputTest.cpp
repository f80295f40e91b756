// Diagnostic text: collected per thread while a capture is alive, written to
// standard output in one piece otherwise.
#include "host/DebugOutput.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

TEST(DebugOutput, CaptureCollectsTheTextOfItsThread)
{
    DiagnosticCapture capture;
    OutputDebugString("Time spent: ");
    OutputDebugString(std::string("12ms.\n"));
    OutputDebugString(static_cast<const char*>(nullptr)); // ignored
    EXPECT_EQ(capture.text(), "Time spent: 12ms.\n");
}

TEST(DebugOutput, CapturesNestAndRestore)
{
    DiagnosticCapture outer;
    OutputDebugString("a");
    {
        DiagnosticCapture inner;
        OutputDebugString("b");
        EXPECT_EQ(inner.text(), "b");
    }
    OutputDebugString("c");
    EXPECT_EQ(outer.text(), "ac");
}

TEST(DebugOutput, ConcurrentCommandsKeepTheirTextApart)
{
    // Each thread plays one command: its capture holds its own lines only,
    // in order, however the threads interleave.
    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    std::vector<std::string> collected(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &collected] {
            DiagnosticCapture capture;
            for (int i = 0; i < kLines; ++i) OutputDebugString(std::to_string(t) + ":" + std::to_string(i) + "\n");
            collected[static_cast<std::size_t>(t)] = capture.text();
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        std::string expected;
        for (int i = 0; i < kLines; ++i) {
            expected += std::to_string(t);
            expected += ':';
            expected += std::to_string(i);
            expected += '\n';
        }
        EXPECT_EQ(collected[static_cast<std::size_t>(t)], expected) << "thread " << t;
    }
}

TEST(DebugOutput, WithoutCaptureWritesWholeTextsToStandardOutput)
{
    testing::internal::CaptureStdout();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i) OutputDebugString("line of thread " + std::to_string(t) + " ends here\n");
        });
    for (std::thread& thread : threads) thread.join();
    const std::string out = testing::internal::GetCapturedStdout();
    // Every line arrives whole: 400 lines, each of the one expected form.
    std::size_t lines = 0;
    for (std::size_t start = 0; start < out.size();) {
        const std::size_t end = out.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = out.substr(start, end - start);
        EXPECT_EQ(line.rfind("line of thread ", 0), 0u) << line;
        EXPECT_EQ(line.size(), std::string("line of thread 0 ends here").size()) << line;
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(lines, 400u);
}
