#include "pixels/Background.h"

#include "host/SuiteScoper.h"
#include "pixels/PixelTraits.h"

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
    return withPixelType(pixelFormat, PF_Err{PF_Err_BAD_CALLBACK_PARAM}, [&]<typename Pixel>(std::type_identity<Pixel>) {
        if constexpr (std::is_same_v<Pixel, PF_Pixel>)
            return iterate8->iterate(in_data, 0, progressFinal, info->inputWorld, nullptr, info,
                                     backgroundRoutine<Pixel>(info), output);
        else if constexpr (std::is_same_v<Pixel, PF_Pixel16>)
            return iterate16->iterate(in_data, 0, progressFinal, info->inputWorld, nullptr, info,
                                      backgroundRoutine<Pixel>(info), output);
        else
            return iterateFloat->iterate(in_data, 0, progressFinal, info->inputWorld, nullptr, info,
                                         backgroundRoutine<Pixel>(info), output);
    });
}
