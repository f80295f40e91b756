// The utility callbacks in in_data->utils. Only the ANSI group is provided:
// string formatting and copying, and the math functions.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "harness/state/HostState.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

// Size of the destination when it is a buffer the host owns; 0 otherwise.
std::size_t KnownSize(HostState* host, const A_char* dst)
{
    if (host != nullptr && dst == host->outData.return_msg)
        return sizeof host->outData.return_msg;
    return 0;
}

std::string Quote(const char* text)
{
    if (text == nullptr)
        return "(null)";
    std::string out = "\"";
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '\n')
            out += "\\n";
        else if (*c == '\r')
            out += "\\r";
        else if (*c == '"')
            out += "\\\"";
        else
            out += *c;
    }
    return out + "\"";
}

// Formatting into a destination of unknown size writes at most this many
// bytes, the largest text buffer the host hands over.
constexpr std::size_t kUnknownDestinationLimit = PF_MAX_EFFECT_MSG_LEN + 1;

// ansi.sprintf with its arguments taken.
int FormatInto(A_char* dst, const A_char* format, va_list args)
{
    HostState* host = CurrentHost();
    HostCall call(host, "ansi.sprintf", CallKind::Plain);
    if (dst == nullptr || format == nullptr) {
        if (host != nullptr)
            host->violation("ansi.sprintf with a null destination or format");
        call.finishWith("-1", [] { return std::string(); });
        return -1;
    }
    va_list copy;
    va_copy(copy, args);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(needed > 0 ? static_cast<std::size_t>(needed) : 0u, '\0');
    if (needed > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, args);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

    const std::size_t known = KnownSize(host, dst);
    const std::size_t limit = known != 0 ? known : kUnknownDestinationLimit;
    const std::size_t length = std::min(text.size(), limit - 1);
    std::memcpy(dst, text.data(), length);
    dst[length] = '\0';
    if (text.size() >= limit && host != nullptr)
        host->violation("ansi.sprintf produced " + std::to_string(text.size()) + " characters for a buffer of " +
                        std::to_string(limit) + " bytes; the text was cut");
    call.finishWith(std::to_string(needed), [&] { return Quote(format) + " -> " + Quote(dst); });
    return needed;
}

// Variadic, so behind a barrier of its own (HostCallback forwards a fixed
// list of arguments): a host failure answers -1, as a failed sprintf does.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
int AnsiSprintf(A_char* dst, const A_char* format, ...)
{
    va_list args;
    va_start(args, format);
    // A failure leaves an empty text, never an unterminated one.
    const int written = CatchAtTheBoundary(
        [&] { return FormatInto(dst, format, args); },
        [dst](PF_Err) {
            if (dst != nullptr)
                *dst = '\0';
            return -1;
        },
        ThrownAnswerKind::Value);
    va_end(args);
    return written;
}

A_char* CopyText(A_char* dst, const A_char* src)
{
    HostState* host = CurrentHost();
    if (dst == nullptr || src == nullptr) {
        HostCall call(host, "ansi.strcpy", CallKind::Plain);
        if (host != nullptr)
            host->violation("ansi.strcpy with a null destination or source");
        call.finishWith("(null)", [] { return std::string(); });
        return dst;
    }
    // The text is copied before the call is counted and reported, either of
    // which may run out of memory: strcpy's answer is its destination.
    const std::size_t known = KnownSize(host, dst);
    const std::size_t length = std::strlen(src);
    const bool cut = known != 0 && length >= known;
    const std::size_t copied = cut ? known - 1 : length;
    std::memcpy(dst, src, copied);
    dst[copied] = '\0';
    HostCall call(host, "ansi.strcpy", CallKind::Plain);
    if (cut)
        host->violation("ansi.strcpy of " + std::to_string(length) + " characters into a buffer of " +
                        std::to_string(known) + " bytes; the text was cut");
    call.finishWith("", [&] { return Quote(src); });
    return dst;
}

// ansi.strcpy answers its destination whatever happens, as strcpy does.
A_char* AnsiStrcpy(A_char* dst, const A_char* src)
{
    return CatchAtTheBoundary([&] { return CopyText(dst, src); }, [&](PF_Err) { return dst; },
                              ThrownAnswerKind::Value);
}

std::string Num(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The math functions, traced like every other call into the host; the
// trace's texts are made only when tracing.
template <typename ArgumentText>
double Traced(const char* function, double result, ArgumentText&& arguments)
{
    HostCall call(CurrentHost(), function, CallKind::Plain);
    if (call.host() != nullptr && call.host()->trace.enabled())
        call.finishWith(Num(result), arguments);
    return result;
}

#define LINESTRA_ANSI_MATH1(NAME)                                                                                  \
    double Ansi_##NAME(double x)                                                                                   \
    {                                                                                                              \
        return Traced("ansi." #NAME, std::NAME(x), [&] { return Num(x); });                                       \
    }
#define LINESTRA_ANSI_MATH2(NAME)                                                                                  \
    double Ansi_##NAME(double x, double y)                                                                         \
    {                                                                                                              \
        return Traced("ansi." #NAME, std::NAME(x, y), [&] { return Num(x) + ", " + Num(y); });                    \
    }
LINESTRA_ANSI_MATH1(atan)
LINESTRA_ANSI_MATH2(atan2)
LINESTRA_ANSI_MATH1(ceil)
LINESTRA_ANSI_MATH1(cos)
LINESTRA_ANSI_MATH1(exp)
LINESTRA_ANSI_MATH1(fabs)
LINESTRA_ANSI_MATH1(floor)
LINESTRA_ANSI_MATH2(fmod)
LINESTRA_ANSI_MATH2(hypot)
LINESTRA_ANSI_MATH1(log)
LINESTRA_ANSI_MATH1(log10)
LINESTRA_ANSI_MATH2(pow)
LINESTRA_ANSI_MATH1(sin)
LINESTRA_ANSI_MATH1(sqrt)
LINESTRA_ANSI_MATH1(tan)
LINESTRA_ANSI_MATH1(asin)
LINESTRA_ANSI_MATH1(acos)
#undef LINESTRA_ANSI_MATH1
#undef LINESTRA_ANSI_MATH2

} // namespace

void FillUtilCallbacks(PF_UtilCallbacks& utils)
{
    utils = PF_UtilCallbacks{};
    PF_ANSICallbacks& a = utils.ansi;
    a.atan = HostCallback<&Ansi_atan>;
    a.atan2 = HostCallback<&Ansi_atan2>;
    a.ceil = HostCallback<&Ansi_ceil>;
    a.cos = HostCallback<&Ansi_cos>;
    a.exp = HostCallback<&Ansi_exp>;
    a.fabs = HostCallback<&Ansi_fabs>;
    a.floor = HostCallback<&Ansi_floor>;
    a.fmod = HostCallback<&Ansi_fmod>;
    a.hypot = HostCallback<&Ansi_hypot>;
    a.log = HostCallback<&Ansi_log>;
    a.log10 = HostCallback<&Ansi_log10>;
    a.pow = HostCallback<&Ansi_pow>;
    a.sin = HostCallback<&Ansi_sin>;
    a.sqrt = HostCallback<&Ansi_sqrt>;
    a.tan = HostCallback<&Ansi_tan>;
    a.sprintf = &AnsiSprintf;
    a.strcpy = &AnsiStrcpy;
    a.asin = HostCallback<&Ansi_asin>;
    a.acos = HostCallback<&Ansi_acos>;
}

} // namespace harness
