#include "pixels/Background.h"

#include "host/SuiteScoper.h"

namespace {

// The per-pixel routine for the background mode: a copy of the input when
// "Composite On Original" is on, transparent black otherwise.
template <typename T>
auto backgroundRoutine(const PFInfo* info)
{
    return info->backgroundMode == 2 ? &InputToOutput<T> : &BlankToOutput<T>;
}

} // namespace

PF_Err drawBackgroundToOutput(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, int pixelFormat)
{
    // All three suites, whatever the format; released in reverse order.
    AEFX_SuiteScoper<PF_Iterate8Suite1> iterate8(in_data, kPFIterate8Suite, kPFIterate8SuiteVersion1, out_data);
    AEFX_SuiteScoper<PF_iterate16Suite2> iterate16(in_data, kPFIterate16Suite, kPFIterate16SuiteVersion2, out_data);
    AEFX_SuiteScoper<PF_iterateFloatSuite2> iterateFloat(in_data, kPFIterateFloatSuite, kPFIterateFloatSuiteVersion2,
                                                         out_data);

    PF_EffectWorld* output = info->outputWorld;
    const A_long progressFinal = output->extent_hint.bottom - output->extent_hint.top;
    switch (pixelFormat) {
    case PF_PixelFormat_ARGB32:
        return iterate8->iterate(in_data, 0, progressFinal, info->inputWorld, nullptr, info,
                                 backgroundRoutine<PF_Pixel>(info), output);
    case PF_PixelFormat_ARGB64:
        return iterate16->iterate(in_data, 0, progressFinal, info->inputWorld, nullptr, info,
                                  backgroundRoutine<PF_Pixel16>(info), output);
    case PF_PixelFormat_ARGB128:
        return iterateFloat->iterate(in_data, 0, progressFinal, info->inputWorld, nullptr, info,
                                     backgroundRoutine<PF_PixelFloat>(info), output);
    default:
        return PF_Err_BAD_CALLBACK_PARAM;
    }
}
