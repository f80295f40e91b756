// Diagnostic text of the effect (for instance render timings).
//
// OutputDebugString writes one text: while a DiagnosticCapture is alive on
// the calling thread, into that capture's buffer; otherwise to standard
// output in a single write, so that texts of renders running at the same
// time on other threads never interleave. The global stream's state (buffer,
// number format) is never touched.
//
// On Windows EffectMain holds a capture around every command and hands the
// collected text to the system's debug output when the command ends.
//
// Note: <windows.h> defines OutputDebugString as a macro; it is never
// included by a header of the effect, and the one source that needs it
// (DebugOutput.cpp) undefines the macro.
#pragma once

#include <cstddef>
#include <string>

void OutputDebugString(const char* text);
void OutputDebugString(const std::string& text);

// Collects the text that OutputDebugString writes on this thread while the
// capture is alive. Captures nest: the innermost one collects, and the
// previous one is active again when it ends.
class DiagnosticCapture {
public:
    DiagnosticCapture() noexcept;
    ~DiagnosticCapture();

    DiagnosticCapture(const DiagnosticCapture&) = delete;
    DiagnosticCapture& operator=(const DiagnosticCapture&) = delete;

    const std::string& text() const noexcept { return text_; }
    void append(const char* text, std::size_t length) { text_.append(text, length); }

private:
    std::string text_;
    DiagnosticCapture* previous_;
};

// Hands a command's collected text to the system's debug output (Windows
// only; elsewhere the text went to standard output already and this does
// nothing). Never throws.
void passToSystemDebugOutput(const std::string& text) noexcept;
