#include "host/EffectIdentity.h"
#include "host/HostCommands.h"
#include "host/SuiteScoper.h"

namespace Identity = Linestra::Identity;

// The identity's numbers are the host's named flags.
static_assert(Identity::kOutFlags ==
              static_cast<std::uint32_t>(PF_OutFlag_PIX_INDEPENDENT | PF_OutFlag_DEEP_COLOR_AWARE |
                                         PF_OutFlag_SEND_UPDATE_PARAMS_UI));
static_assert(Identity::kOutFlags2Base ==
              static_cast<std::uint32_t>(PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE |
                                         PF_OutFlag2_SUPPORTS_THREADED_RENDERING));
static_assert(Identity::kOutFlags2GpuF32 == static_cast<std::uint32_t>(PF_OutFlag2_SUPPORTS_GPU_RENDER_F32));
static_assert(Identity::kApiVersionMajor == PF_PLUG_IN_VERSION && Identity::kApiVersionMinor == PF_PLUG_IN_SUBVERS);

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data)
{
    out_data->my_version = Identity::kVersion;
    out_data->out_flags = static_cast<PF_OutFlags>(Identity::kOutFlags);
    out_data->out_flags2 = static_cast<PF_OutFlags2>(Identity::kOutFlags2Base);

    if (in_data->appl_id != kLinestraPremiereApplId) {
        out_data->out_flags2 |= static_cast<PF_OutFlags2>(Identity::kOutFlags2GpuF32);
        return PF_Err_NONE;
    }

    // The editor host: declare exactly one pixel format.
    AEFX_SuiteScoper<PF_PixelFormatSuite1> pixelFormats(in_data, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1,
                                                        out_data);
    PF_Err err = pixelFormats->ClearSupportedPixelFormats(in_data->effect_ref);
    if (!err)
        err = pixelFormats->AddSupportedPixelFormat(in_data->effect_ref,
                                                    static_cast<PrPixelFormat>(kLinestraPremierePixelFormat));
    return err;
}
