// The two render commands that EffectMain dispatches.
#pragma once

#include "HostAPI.h"

// PF_Cmd_SMART_PRE_RENDER: reads the parameters into a new render context,
// reports the output rectangle, lays out the coarse lines and hands the
// context to the host as pre-render data.
PF_Err PreRender(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);

// PF_Cmd_SMART_RENDER: checks out the pixels, prepares the texture, paints
// the background, builds the fine line table and runs the drawing passes.
PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);
