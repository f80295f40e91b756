#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "ProbeHost.h"

namespace {

// A render command opened by hand, with the path and world suites acquired.
class SuitesInACommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        harness::HostOptions options;
        options.poisonUnwrittenPixels = true;
        host = MakeProbeHost(options);
        ASSERT_EQ(host->setup(), PF_Err_NONE);
        host->setInput(TestPicture(60, 50));
        host->setMask(Triangle());
        host->setupFrame({});
        host->beginCommand(PF_Cmd_SMART_RENDER);
        ref = host->inData()->effect_ref;
        acquire(kPFPathQuerySuite, 1, &query);
        acquire(kPFPathDataSuite, 1, &data);
        acquire(kPFWorldSuite, 2, &worlds);
    }

    template <typename Suite>
    void acquire(const char* name, int version, const Suite** suite)
    {
        ASSERT_EQ(host->basicSuite()->AcquireSuite(name, version, reinterpret_cast<const void**>(suite)), 0);
    }

    // Ends the command and returns its violations as text.
    std::string finish(PF_Err result = PF_Err_NONE)
    {
        host->basicSuite()->ReleaseSuite(kPFPathQuerySuite, 1);
        host->basicSuite()->ReleaseSuite(kPFPathDataSuite, 1);
        host->basicSuite()->ReleaseSuite(kPFWorldSuite, 2);
        return harness::Describe(host->endCommand(result).violations);
    }

    PF_PathOutlinePtr checkout(PF_PathID id, PF_Err expected = PF_Err_NONE)
    {
        PF_PathOutlinePtr path = nullptr;
        EXPECT_EQ(query->PF_CheckoutPath(ref, id, 0, 1000, 24000, &path), expected);
        return path;
    }

    std::unique_ptr<harness::Host> host;
    PF_ProgPtr ref = nullptr;
    const PF_PathQuerySuite1* query = nullptr;
    const PF_PathDataSuite1* data = nullptr;
    const PF_WorldSuite2* worlds = nullptr;
};

TEST_F(SuitesInACommand, PathZeroHasNoSegments)
{
    PF_PathOutlinePtr none = checkout(0);
    A_long segments = -1;
    EXPECT_EQ(data->PF_PathNumSegments(ref, none, &segments), PF_Err_NONE);
    EXPECT_EQ(segments, 0);
    EXPECT_EQ(query->PF_CheckinPath(ref, 0, false, none), PF_Err_NONE);
    EXPECT_EQ(finish(), "");
}

TEST_F(SuitesInACommand, UnknownPathIdIsAnError)
{
    checkout(7, PF_Err_BAD_CALLBACK_PARAM);
    // A failed command: no further contract checks on paths.
    EXPECT_EQ(finish(PF_Err_BAD_CALLBACK_PARAM), "");
}

TEST_F(SuitesInACommand, SegmentsAreMeasuredAndEvaluated)
{
    PF_PathOutlinePtr path = checkout(harness::kMaskPathId);
    PF_Boolean open = 1;
    EXPECT_EQ(data->PF_PathIsOpen(ref, path, &open), PF_Err_NONE);
    EXPECT_EQ(open, 0);
    PF_PathVertex vertex{};
    EXPECT_EQ(data->PF_PathVertexInfo(ref, path, 1, &vertex), PF_Err_NONE);
    EXPECT_EQ(vertex.x, 50.0);
    EXPECT_EQ(vertex.tan_out_x, 50.0); // no handle: the tangent end is the vertex
    PF_PathSegPrepPtr prep = nullptr;
    PF_FpLong length = 0, x = 0, y = 0, dx = 0, dy = 0;
    ASSERT_EQ(data->PF_PathPrepareSegLength(ref, path, 1, 100, &prep), PF_Err_NONE);
    EXPECT_EQ(data->PF_PathGetSegLength(ref, path, 1, &prep, &length), PF_Err_NONE);
    EXPECT_EQ(length, 50.0);
    EXPECT_EQ(data->PF_PathEvalSegLengthDeriv1(ref, path, &prep, 1, 25.0, &x, &y, &dx, &dy), PF_Err_NONE);
    EXPECT_EQ(x, 30.0);
    EXPECT_EQ(y, 25.0);
    EXPECT_EQ(dx, -40.0);
    EXPECT_EQ(dy, 30.0);
    EXPECT_EQ(data->PF_PathEvalSegLength(ref, path, nullptr, 2, 30.0, &x, &y), PF_Err_NONE); // no preparation
    EXPECT_EQ(y, 10.0);
    EXPECT_EQ(data->PF_PathCleanupSegLength(ref, path, 1, &prep), PF_Err_NONE);
    EXPECT_EQ(prep, nullptr);
    EXPECT_EQ(query->PF_CheckinPath(ref, harness::kMaskPathId, false, path), PF_Err_NONE);
    EXPECT_EQ(finish(), "");
}

// Each function's calls are counted on their own, however a command
// alternates between functions (one called between every other, and more
// functions than the host keeps at hand): a failure injected into the nth
// call of each function hits exactly that call.
TEST_F(SuitesInACommand, InjectedFailuresHitTheNthCallOfTheirOwnFunction)
{
    PF_PathOutlinePtr path = checkout(harness::kMaskPathId);
    const PF_Err injected = PF_Err_INTERNAL_STRUCT_DAMAGED;
    PF_Boolean open = 0;
    A_long segments = 0;
    PF_FpLong length = 0, x = 0, y = 0, dx = 0, dy = 0;
    struct Function {
        const char* name;
        int failing; // which call fails
        std::function<PF_Err()> call;
        int calls = 0;
    };
    std::vector<Function> functions{
        {"PF_PathEvalSegLengthDeriv1", 7,
         [&] { return data->PF_PathEvalSegLengthDeriv1(ref, path, nullptr, 1, 10.0, &x, &y, &dx, &dy); }},
        {"PF_PathIsOpen", 2, [&] { return data->PF_PathIsOpen(ref, path, &open); }},
        {"PF_PathNumSegments", 3, [&] { return data->PF_PathNumSegments(ref, path, &segments); }},
        {"PF_PathGetSegLength", 2, [&] { return data->PF_PathGetSegLength(ref, path, 1, nullptr, &length); }},
        {"PF_PathEvalSegLength", 3, [&] { return data->PF_PathEvalSegLength(ref, path, nullptr, 1, 10.0, &x, &y); }},
    };
    for (const Function& f : functions)
        host->failCall(f.name, f.failing, injected);
    // The first function between every two others: 0 1 0 2 0 3 0 4 0 1 ...
    for (int step = 0; step < 40; ++step) {
        Function& f = functions[step % 2 == 0 ? 0 : 1 + (step / 2) % 4];
        ++f.calls;
        EXPECT_EQ(f.call(), f.calls == f.failing ? injected : PF_Err_NONE) << f.name << " call " << f.calls;
    }
    EXPECT_EQ(query->PF_CheckinPath(ref, harness::kMaskPathId, false, path), PF_Err_NONE);
    finish(injected);
}

TEST_F(SuitesInACommand, MisusedPathsAndPreparationsAreReported)
{
    PF_PathOutlinePtr path = checkout(harness::kMaskPathId);
    PF_PathSegPrepPtr prep = nullptr, stale = nullptr;
    PF_FpLong length = 0, x = 0, y = 0;
    ASSERT_EQ(data->PF_PathPrepareSegLength(ref, path, 0, 100, &prep), PF_Err_NONE);
    EXPECT_EQ(data->PF_PathPrepareSegLength(ref, path, 3, 100, &stale), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(data->PF_PathGetSegLength(ref, path, 1, &prep, &length), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(data->PF_PathEvalSegLength(ref, path, &prep, 0, std::nan(""), &x, &y), PF_Err_BAD_CALLBACK_PARAM);
    stale = prep;
    EXPECT_EQ(data->PF_PathCleanupSegLength(ref, path, 0, &prep), PF_Err_NONE);
    EXPECT_EQ(data->PF_PathEvalSegLength(ref, path, &stale, 0, 1.0, &x, &y), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(query->PF_CheckinPath(ref, harness::kMaskPathId, false, path), PF_Err_NONE);
    A_long segments = 0;
    EXPECT_EQ(data->PF_PathNumSegments(ref, path, &segments), PF_Err_BAD_CALLBACK_PARAM);
    const std::string text = finish();
    for (const char* expected : {"PF_PathPrepareSegLength of segment 3, but path 1 has 3",
                                 "PF_PathGetSegLength of segment 1 with the preparation of segment 0",
                                 "PF_PathEvalSegLength of segment 0 at a length that is not a number",
                                 "PF_PathEvalSegLength with the preparation of segment 0 after it was cleaned up",
                                 "PF_PathNumSegments with path 1 after it was checked in"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

// An evaluation's checks test inline and tell what is wrong from a report
// of their own: each reason must still be told apart, also for handles that
// passed the same checks a moment before.
TEST_F(SuitesInACommand, EvaluationsNameWhatIsWrongWithTheirHandles)
{
    PF_PathOutlinePtr path = checkout(harness::kMaskPathId);
    PF_PathOutlinePtr other = checkout(harness::kMaskPathId);
    PF_PathSegPrepPtr prep = nullptr, otherPrep = nullptr;
    PF_FpLong x = 0, y = 0, dx = 0, dy = 0;
    auto evaluate = [&](PF_PathOutlinePtr outline, PF_PathSegPrepPtr* preparation, A_long segment) {
        return data->PF_PathEvalSegLengthDeriv1(ref, outline, preparation, segment, 1.0, &x, &y, &dx, &dy);
    };
    ASSERT_EQ(data->PF_PathPrepareSegLength(ref, path, 0, 100, &prep), PF_Err_NONE);
    ASSERT_EQ(data->PF_PathPrepareSegLength(ref, other, 1, 100, &otherPrep), PF_Err_NONE);
    EXPECT_EQ(evaluate(path, &prep, 0), PF_Err_NONE);
    EXPECT_EQ(evaluate(other, &otherPrep, 1), PF_Err_NONE);
    EXPECT_EQ(evaluate(path, &otherPrep, 1), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(evaluate(path, &prep, 5), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(query->PF_CheckinPath(ref, harness::kMaskPathId, false, other), PF_Err_NONE);
    EXPECT_EQ(evaluate(other, &otherPrep, 1), PF_Err_BAD_CALLBACK_PARAM);
    std::string text = finish(PF_Err_BAD_CALLBACK_PARAM);
    for (const char* expected :
         {"PF_PathEvalSegLengthDeriv1 of segment 1 with the preparation of segment 1 of another path",
          "PF_PathEvalSegLengthDeriv1 of segment 5, but path 1 has 3",
          "PF_PathEvalSegLengthDeriv1 with path 1 after it was checked in",
          "PF_PathEvalSegLengthDeriv1 called after the host answered"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;

    // Between commands any call is out of place; in the next command of the
    // same frame, the outline of the last one has expired.
    const std::size_t before = host->violations().size();
    EXPECT_EQ(evaluate(path, &prep, 0), PF_Err_BAD_CALLBACK_PARAM);
    const std::string between = harness::Describe(host->violations());
    EXPECT_GT(host->violations().size(), before);
    EXPECT_NE(between.find("PF_PathEvalSegLengthDeriv1 called outside a command"), std::string::npos) << between;
    host->beginCommand(PF_Cmd_SMART_RENDER);
    acquire(kPFPathQuerySuite, 1, &query);
    acquire(kPFPathDataSuite, 1, &data);
    acquire(kPFWorldSuite, 2, &worlds);
    EXPECT_EQ(evaluate(path, &prep, 0), PF_Err_BAD_CALLBACK_PARAM);
    text = finish(PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_NE(text.find("PF_PathEvalSegLengthDeriv1 with a path checked out by an earlier command"), std::string::npos)
        << text;
}

// The host remembers the handles it validated last; a new frame forgets
// them with the rest, so an outline and a preparation of the last frame
// (whose memory the host has freed) are refused without being read.
TEST_F(SuitesInACommand, HandlesOfTheLastFrameAreRefused)
{
    PF_PathOutlinePtr path = checkout(harness::kMaskPathId);
    PF_PathSegPrepPtr prep = nullptr;
    PF_FpLong x = 0, y = 0, dx = 0, dy = 0;
    ASSERT_EQ(data->PF_PathPrepareSegLength(ref, path, 0, 100, &prep), PF_Err_NONE);
    EXPECT_EQ(data->PF_PathEvalSegLengthDeriv1(ref, path, &prep, 0, 1.0, &x, &y, &dx, &dy), PF_Err_NONE);
    PF_PathSegPrepPtr kept = prep;
    EXPECT_EQ(data->PF_PathCleanupSegLength(ref, path, 0, &prep), PF_Err_NONE);
    EXPECT_EQ(query->PF_CheckinPath(ref, harness::kMaskPathId, false, path), PF_Err_NONE);
    EXPECT_EQ(finish(), "");

    host->setupFrame({});
    host->beginCommand(PF_Cmd_SMART_RENDER);
    acquire(kPFPathQuerySuite, 1, &query);
    acquire(kPFPathDataSuite, 1, &data);
    acquire(kPFWorldSuite, 2, &worlds);
    EXPECT_EQ(data->PF_PathEvalSegLengthDeriv1(ref, path, &kept, 0, 1.0, &x, &y, &dx, &dy),
              PF_Err_BAD_CALLBACK_PARAM);
    const std::string text = finish(PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_NE(text.find("PF_PathEvalSegLengthDeriv1 with a path the host did not hand out"), std::string::npos)
        << text;
}

TEST_F(SuitesInACommand, WorldsArePaddedAndAccounted)
{
    PF_EffectWorld world{};
    ASSERT_EQ(worlds->PF_NewWorld(ref, 7, 3, false, PF_PixelFormat_ARGB64, &world), PF_Err_NONE);
    EXPECT_EQ(world.rowbytes, harness::PaddedRowBytes(7, PF_PixelFormat_ARGB64));
    EXPECT_GT(world.rowbytes, 7 * 8);
    EXPECT_EQ(static_cast<unsigned char*>(world.data)[0], 0xCD); // not cleared
    PF_PixelFormat format = 0;
    EXPECT_EQ(worlds->PF_GetPixelFormat(&world, &format), PF_Err_NONE);
    EXPECT_EQ(format, PF_PixelFormat_ARGB64);

    PF_EffectWorld cleared{};
    ASSERT_EQ(worlds->PF_NewWorld(ref, 2, 2, true, PF_PixelFormat_ARGB128, &cleared), PF_Err_NONE);
    EXPECT_EQ(static_cast<PF_PixelFloat*>(cleared.data)->red, 0.0f);

    PF_EffectWorld copy = world;
    EXPECT_EQ(worlds->PF_DisposeWorld(ref, &world), PF_Err_NONE);
    EXPECT_EQ(world.data, nullptr);
    EXPECT_EQ(worlds->PF_DisposeWorld(ref, &copy), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(worlds->PF_GetPixelFormat(&copy, &format), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(worlds->PF_NewWorld(ref, -1, 3, true, PF_PixelFormat_ARGB32, &world), PF_Err_BAD_CALLBACK_PARAM);

    const std::string text = finish();
    EXPECT_NE(text.find("PF_DisposeWorld of a world the world suite did not create (or disposed already)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("PF_GetPixelFormat of a world the host does not know"), std::string::npos) << text;
    EXPECT_NE(text.find("PF_NewWorld of -1 x 3 pixels"), std::string::npos) << text;
    EXPECT_NE(text.find("world of 2 x 2 pixels created and not disposed"), std::string::npos) << text;
}

// The host keeps disposed worlds for later ones of the same size and
// format: a kept world comes back as a new one would, cleared or poisoned,
// whatever the effect left in it.
TEST_F(SuitesInACommand, AWorldUsedAgainComesBackAsNew)
{
    PF_EffectWorld first{};
    ASSERT_EQ(worlds->PF_NewWorld(ref, 5, 4, true, PF_PixelFormat_ARGB32, &first), PF_Err_NONE);
    void* const firstData = first.data;
    std::memset(first.data, 0x5A, static_cast<std::size_t>(first.rowbytes) * 4);
    ASSERT_EQ(worlds->PF_DisposeWorld(ref, &first), PF_Err_NONE);

    PF_EffectWorld cleared{};
    ASSERT_EQ(worlds->PF_NewWorld(ref, 5, 4, true, PF_PixelFormat_ARGB32, &cleared), PF_Err_NONE);
    EXPECT_EQ(cleared.data, firstData) << "the disposed world is used again";
    const auto* bytes = static_cast<const unsigned char*>(cleared.data);
    for (std::size_t i = 0; i < static_cast<std::size_t>(cleared.rowbytes) * 4; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    std::memset(cleared.data, 0x5A, static_cast<std::size_t>(cleared.rowbytes) * 4);
    ASSERT_EQ(worlds->PF_DisposeWorld(ref, &cleared), PF_Err_NONE);

    PF_EffectWorld poisoned{};
    ASSERT_EQ(worlds->PF_NewWorld(ref, 5, 4, false, PF_PixelFormat_ARGB32, &poisoned), PF_Err_NONE);
    EXPECT_EQ(static_cast<const unsigned char*>(poisoned.data)[0], 0xCD);
    PF_EffectWorld other{};
    ASSERT_EQ(worlds->PF_NewWorld(ref, 5, 4, true, PF_PixelFormat_ARGB64, &other), PF_Err_NONE);
    EXPECT_NE(other.data, poisoned.data);
    EXPECT_EQ(worlds->PF_DisposeWorld(ref, &poisoned), PF_Err_NONE);
    EXPECT_EQ(worlds->PF_DisposeWorld(ref, &other), PF_Err_NONE);
    EXPECT_EQ(finish(), "");
}

} // namespace
