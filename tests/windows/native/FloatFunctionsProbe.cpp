// Evaluates the inexact float functions the effect needs (sine, cosine and
// arc tangent in float, hypot in float and double) over fixed sets of
// arguments, once from the C runtime and once from the effect's own
// geometry/PortableMath.h, and writes the results, so that two platforms can
// be compared bit for bit.
//
//   linestra-float-probe write FILE        results of this platform
//   linestra-float-probe compare A B       differences between two result
//                                          files; fails when the effect's own
//                                          functions differ
#include "geometry/PortableMath.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kSamples = 1u << 20;
constexpr float kTwoPi = 6.28318530717958647692f;

std::uint32_t Bits(float v)
{
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

float FromBits(std::uint32_t b)
{
    float v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Floats from `low` to `high` (both positive), evenly spaced in their bit
// patterns, so every binade is covered.
float Spread(float low, float high, std::uint32_t i)
{
    const std::uint32_t a = Bits(low), b = Bits(high);
    return FromBits(a + static_cast<std::uint32_t>((static_cast<std::uint64_t>(b - a) * i) / kSamples));
}

// A fixed pseudo-random sequence (the same on every platform).
struct Lcg {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    double next() // in [0, 1)
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    }
};

struct Function {
    const char* name;
    bool isDouble;
    bool portable; // the effect's own
};
constexpr int kFunctionCount = 10;
const Function kFunctions[kFunctionCount] = {
    {"sinf", false, false},         {"cosf", false, false},         {"atanf", false, false},
    {"hypotf", false, false},       {"hypot", true, false},         {"own sin", false, true},
    {"own cos", false, true},       {"own atan", false, true},      {"own hypotf", false, true},
    {"own hypot", true, true}};

namespace PM = Linestra::PortableMath;

// Argument i of function f, and the result.
void Evaluate(int f, std::uint32_t i, Lcg& random, double args[2], double& result)
{
    const bool own = kFunctions[f].portable;
    switch (f % 5) {
    case 0:
    case 1: {
        // Angles of lines: 0 to 2 pi.
        const float a = Spread(1e-6f, kTwoPi, i);
        args[0] = a;
        args[1] = 0;
        if (f % 5 == 0)
            result = static_cast<double>(own ? PM::sin(a) : std::sin(a));
        else
            result = static_cast<double>(own ? PM::cos(a) : std::cos(a));
        break;
    }
    case 2: {
        // Slopes y / x of line directions, either sign.
        const float s = Spread(1e-7f, 1e7f, i) * ((i & 1u) ? -1.0f : 1.0f);
        args[0] = s;
        args[1] = 0;
        result = static_cast<double>(own ? PM::atan(s) : std::atan(s));
        break;
    }
    case 3: {
        // Components of a nearly unit direction, and of arbitrary vectors.
        float x, y;
        if (i & 1u) {
            const double t = random.next() * 6.283185307179586;
            x = static_cast<float>(std::cos(t) * (0.5 + random.next()));
            y = static_cast<float>(std::sin(t) * (0.5 + random.next()));
        } else {
            x = static_cast<float>((random.next() - 0.5) * 8000.0);
            y = static_cast<float>((random.next() - 0.5) * 8000.0);
        }
        args[0] = x;
        args[1] = y;
        result = static_cast<double>(own ? PM::hypot(x, y) : std::hypot(x, y));
        break;
    }
    default: {
        // Distances between pixel positions, and frame diagonals.
        const double x = (i & 1u) ? std::floor(random.next() * 8192.0)
                                  : static_cast<double>(static_cast<float>((random.next() - 0.5) * 10000.0));
        const double y = (i & 1u) ? std::floor(random.next() * 8192.0)
                                  : static_cast<double>(static_cast<float>((random.next() - 0.5) * 10000.0));
        args[0] = x;
        args[1] = y;
        result = own ? PM::hypot(x, y) : std::hypot(x, y);
        break;
    }
    }
}

int Write(const char* path)
{
    std::ofstream out(path, std::ios::binary);
    for (int f = 0; f < kFunctionCount; ++f) {
        Lcg random;
        for (std::uint32_t i = 0; i < kSamples; ++i) {
            double args[2], result;
            Evaluate(f, i, random, args, result);
            out.write(reinterpret_cast<const char*>(args), sizeof args);
            out.write(reinterpret_cast<const char*>(&result), sizeof result);
        }
    }
    return out ? 0 : 1;
}

// The correctly rounded result (in practice): the float functions evaluated
// in double and rounded once; hypot in long double, where the squares of
// the probe's arguments are exact.
double Reference(int f, const double args[2])
{
    switch (f % 5) {
    case 0: return static_cast<double>(static_cast<float>(std::sin(args[0])));
    case 1: return static_cast<double>(static_cast<float>(std::cos(args[0])));
    case 2: return static_cast<double>(static_cast<float>(std::atan(args[0])));
    case 3: return static_cast<double>(static_cast<float>(std::sqrt(args[0] * args[0] + args[1] * args[1])));
    default: {
        const long double x = args[0], y = args[1];
        return static_cast<double>(std::sqrt(x * x + y * y));
    }
    }
}

// Distance in units in the last place, in the function's own precision.
double Ulps(double a, double b, bool isDouble)
{
    if (a == b)
        return 0;
    if (isDouble) {
        std::int64_t ia, ib;
        std::memcpy(&ia, &a, 8);
        std::memcpy(&ib, &b, 8);
        return std::fabs(static_cast<double>(ia - ib));
    }
    const auto fa = static_cast<std::int32_t>(Bits(static_cast<float>(a)));
    const auto fb = static_cast<std::int32_t>(Bits(static_cast<float>(b)));
    return std::fabs(static_cast<double>(fa - fb));
}

int Compare(const char* pathA, const char* pathB)
{
    std::ifstream a(pathA, std::ios::binary), b(pathB, std::ios::binary);
    if (!a || !b) {
        std::fprintf(stderr, "cannot read %s or %s\n", pathA, pathB);
        return 2;
    }
    bool ownDiffer = false;
    for (int f = 0; f < kFunctionCount; ++f) {
        const Function& fn = kFunctions[f];
        std::uint32_t differing = 0, firstRight = 0, secondRight = 0;
        double maxUlps = 0, worst[2] = {0, 0}, worstA = 0, worstB = 0;
        for (std::uint32_t i = 0; i < kSamples; ++i) {
            double ra[3], rb[3];
            a.read(reinterpret_cast<char*>(ra), sizeof ra);
            b.read(reinterpret_cast<char*>(rb), sizeof rb);
            if (!a || !b) {
                std::fprintf(stderr, "result files are cut short\n");
                return 2;
            }
            if (std::memcmp(&ra[2], &rb[2], 8) == 0)
                continue;
            ++differing;
            const double reference = Reference(f, ra);
            firstRight += std::memcmp(&ra[2], &reference, 8) == 0 ? 1u : 0u;
            secondRight += std::memcmp(&rb[2], &reference, 8) == 0 ? 1u : 0u;
            const double u = Ulps(ra[2], rb[2], fn.isDouble);
            if (u > maxUlps) {
                maxUlps = u;
                worst[0] = ra[0];
                worst[1] = ra[1];
                worstA = ra[2];
                worstB = rb[2];
            }
        }
        if (fn.portable && differing != 0)
            ownDiffer = true;
        std::printf("%-10s %8u of %u results differ (%.4f%%), at most %g ulp", fn.name, differing, kSamples,
                    100.0 * differing / kSamples, maxUlps);
        if (differing != 0)
            std::printf("; correctly rounded where they differ: first %u, second %u; e.g. arguments %.9g, %.9g: "
                        "%.17g vs %.17g",
                        firstRight, secondRight, worst[0], worst[1], worstA, worstB);
        std::printf("\n");
    }
    return ownDiffer ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 3)
        return Write(argv[2]);
    if (mode == "compare" && argc == 4)
        return Compare(argv[2], argv[3]);
    std::fprintf(stderr, "usage: linestra-float-probe write FILE | compare A B\n");
    return 2;
}
