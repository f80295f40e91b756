// The background pass: before any line is drawn, the whole output becomes a
// copy of the input frame ("Composite On Original" on, backgroundMode 2) or
// transparent black (off, backgroundMode 3), through the host's per-pixel
// iteration suites.
#pragma once

#include "HostAPI.h"
#include "render/PFInfo.h"

// Fills info->outputWorld from info->inputWorld in the pixel format
// `pixelFormat`. Acquires "PF Iterate8 Suite" 1, "PF iterate16 Suite" 2 and
// "PF iterateFloat Suite" 2 (all three, in that order, released in reverse)
// and iterates with the suite of the format, reporting progress over the
// output's extent-hint rows. Returns the iteration's error code (for
// example the cancel answer); PF_Err_BAD_CALLBACK_PARAM (516) for a format
// other than the three known ones, with nothing written. A suite that cannot
// be acquired throws 13 after setting the message in out_data (when given).
PF_Err drawBackgroundToOutput(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, int pixelFormat);

// Per-pixel routines for the host's iteration (reference value, x, y, input
// pixel, output pixel); each returns 0.
template <typename T>
PF_Err InputToOutput(void* refcon, A_long x, A_long y, T* in, T* out)
{
    static_cast<void>(refcon);
    static_cast<void>(x);
    static_cast<void>(y);
    *out = *in;
    return PF_Err_NONE;
}

template <typename T>
PF_Err BlankToOutput(void* refcon, A_long x, A_long y, T* in, T* out)
{
    static_cast<void>(refcon);
    static_cast<void>(x);
    static_cast<void>(y);
    static_cast<void>(in);
    *out = T{};
    return PF_Err_NONE;
}
