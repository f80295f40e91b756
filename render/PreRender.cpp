#include "render/RenderCommands.h"

// Temporary: replaced by the pre-render pass.
PF_Err PreRender(PF_InData*, PF_OutData*, PF_PreRenderExtra*)
{
    return PF_Err_NONE;
}
