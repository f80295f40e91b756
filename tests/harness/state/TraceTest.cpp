#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ProbeHost.h"
#include "harness/state/CallTrace.h"

namespace {

// Index of the first entry at or after `from` whose function is `name`
// (and whose arguments contain `argument`); -1 when there is none.
long Find(const std::vector<harness::TraceEntry>& trace, long from, const std::string& name,
          const std::string& argument = "")
{
    for (long i = std::max(from, 0L); i < static_cast<long>(trace.size()); ++i) {
        const harness::TraceEntry& e = trace[static_cast<std::size_t>(i)];
        if (e.function == name && e.arguments.find(argument) != std::string::npos)
            return i;
    }
    return -1;
}

TEST(Trace, RecordsEveryCallInOrderWithArgumentsAndResults)
{
    const std::string file = (std::filesystem::temp_directory_path() / "linestra-harness-trace.txt").string();
    harness::HostOptions options;
    options.traceFile = file;
    options.threads = 2;
    auto host = MakeProbeHost(options);
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    host->setInput(TestPicture(8, 6));
    host->setMask(Triangle());
    const harness::FrameResult frame = host->renderFrame();
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);

    const std::vector<harness::TraceEntry> trace = host->trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front().function, "PF_PluginDataCB");
    EXPECT_EQ(trace.front().command, "REGISTRATION");

    // The host-call order of the frame, as a chain.
    const char* const chain[][2] = {
        {"checkout_param", "index=1"},      {"checkout_layer", "index=0, id=0"},
        {"AcquireSuite", "PF Path Query"},  {"PF_CheckoutPath", "id=1"},
        {"PF_PathPrepareSegLength", "segment=0"}, {"PF_PathEvalSegLengthDeriv1", "segment=0, length=20"},
        {"PF_PathCleanupSegLength", "segment=2"}, {"PF_CheckinPath", "id=1"},
        {"checkout_layer_pixels", "id=0"},  {"checkout_output", ""},
        {"PF_NewWorld", "8, 6"},            {"iterate (8-bit)", "progress 0 to 6"},
        {"iterate_generic", "iterations=6"}, {"PF_DisposeWorld", ""},
        {"checkin_layer_pixels", "id=0"},
    };
    long at = 0;
    for (const auto& [name, argument] : chain) {
        const long found = Find(trace, at, name, argument);
        ASSERT_GE(found, 0) << name << "(" << argument << ") missing after entry " << at;
        at = found + 1;
    }
    const long eval = Find(trace, 0, "PF_PathEvalSegLengthDeriv1");
    EXPECT_NE(trace[static_cast<std::size_t>(eval)].arguments.find("-> (30, 10) d(40, 0)"), std::string::npos)
        << trace[static_cast<std::size_t>(eval)].arguments;
    EXPECT_EQ(trace[static_cast<std::size_t>(Find(trace, 0, "PF_CheckoutPath"))].command, "SMART_PRE_RENDER");
    EXPECT_EQ(frame.trace.size(), static_cast<std::size_t>(trace.size() - frame.trace.front().sequence));

    host.reset(); // flushes and closes the file
    std::ifstream in(file);
    std::size_t lines = 0;
    std::string line, first;
    while (std::getline(in, line))
        if (lines++ == 0)
            first = line;
    EXPECT_EQ(lines, trace.size());
    EXPECT_EQ(first, harness::CallTrace::Format(trace.front()));
    std::filesystem::remove(file);
}

TEST(Trace, OffByDefault)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    EXPECT_TRUE(host->trace().empty());
}

} // namespace
