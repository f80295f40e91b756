#include "host/EffectIdentity.h"
#include "host/HostCommands.h"

PF_Err About(PF_InData* in_data, PF_OutData* out_data)
{
    using namespace Linestra::Identity;
    // Shows "Linestra v1.1", then "You matter." on the next line.
    PF_SPRINTF(out_data->return_msg, kAboutFormat, kName, static_cast<int>(kVersionMajor),
               static_cast<int>(kVersionMinor), kAboutDescription);
    return PF_Err_NONE;
}
