#include "host/DebugOutput.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The system header maps OutputDebugString to its A/W variants; this file
// defines the effect's own routine of that name.
#undef OutputDebugString
#endif

namespace {

thread_local DiagnosticCapture* activeCapture = nullptr;

void writeToStandardOutput(const char* text, std::size_t length)
{
    if (length == 0) return;
    // One call: the stream's lock is held for the whole text.
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
}

void output(const char* text, std::size_t length)
{
    if (DiagnosticCapture* capture = activeCapture) {
        capture->append(text, length);
        return;
    }
    writeToStandardOutput(text, length);
}

} // namespace

void OutputDebugString(const char* text)
{
    if (!text) return;
    output(text, std::strlen(text));
}

void OutputDebugString(const std::string& text)
{
    output(text.data(), text.size());
}

DiagnosticCapture::DiagnosticCapture() noexcept : previous_(activeCapture)
{
    activeCapture = this;
}

DiagnosticCapture::~DiagnosticCapture()
{
    activeCapture = previous_;
}

void passToSystemDebugOutput([[maybe_unused]] const std::string& text) noexcept
{
#if defined(_WIN32)
    OutputDebugStringA(text.c_str());
#endif
}
