#include "render/RenderCommands.h"

// Temporary: replaced by the render pass.
PF_Err SmartRender(PF_InData*, PF_OutData*, PF_SmartRenderExtra*)
{
    return PF_Err_NONE;
}
