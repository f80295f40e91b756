#include "host/CommandGuard.h"
#include "host/HostCommands.h"
#include "host/Params.h"
#include "host/SuiteHandler.h"

namespace {

enum class Enable { Untouched, Enabled, Disabled };
enum class Collapse { Untouched, Cleared, Set };

// A copy of the host's definition with the enable and collapse bits as
// asked; every other field, the value included, is the host's.
PF_ParamDef copyWith(const PF_ParamDef& hostDef, Enable enable, Collapse collapse)
{
    PF_ParamDef def = hostDef;
    if (enable == Enable::Enabled) def.ui_flags &= ~PF_PUI_DISABLED;
    if (enable == Enable::Disabled) def.ui_flags |= PF_PUI_DISABLED;
    if (collapse == Collapse::Cleared) def.flags &= ~PF_ParamFlag_COLLAPSE_TWIRLY;
    if (collapse == Collapse::Set) def.flags |= PF_ParamFlag_COLLAPSE_TWIRLY;
    return def;
}

Enable enabledIf(bool condition)
{
    return condition ? Enable::Enabled : Enable::Disabled;
}

class UiUpdater {
public:
    UiUpdater(PF_InData* in_data, PF_ParamDef* params[]) : in_data_(in_data), params_(params), suites_(in_data->pica_basicP)
    {
    }

    // Sends the copy for one control; the host's answer is not examined (a
    // control it refuses keeps its state, the others are still sent).
    PF_ParamDef send(PF_ParamIndex index, Enable enable, Collapse collapse = Collapse::Untouched)
    {
        const PF_ParamDef def = copyWith(*params_[index], enable, collapse);
        suites_.ParamUtilsSuite3()->PF_UpdateParamUI(in_data_->effect_ref, index, &def);
        return def;
    }

private:
    PF_InData* in_data_;
    PF_ParamDef** params_;
    AEGP_SuiteHandler suites_;
};

} // namespace

// Sends all 16 updates on every command, in a fixed order; each decision is
// read where it is first needed. Only enable states and collapse bits
// change, never a value.
PF_Err updateControlStates(PF_InData* in_data, PF_OutData* /*out_data*/, PF_ParamDef* params[])
{
    UiUpdater ui(in_data, params);

    ui.send(PARAM_TEXTURE_SETTINGS_START, Enable::Untouched, Collapse::Cleared);
    ui.send(PARAM_STROKE_SETTINGS_START, Enable::Untouched, Collapse::Cleared);

    const bool toEdge = params[PARAM_TO_EDGE]->u.bd.value != 0;
    ui.send(PARAM_STROKE_LENGTH, enabledIf(!toEdge), Collapse::Set);

    const bool originalFrame = params[PARAM_TEXTURE_SOURCE]->u.pd.value == TEXTURE_SOURCE_ORIGINAL_FRAME;
    if (originalFrame) {
        ui.send(PARAM_SCALE_X_GRADIENT, Enable::Enabled, Collapse::Set);
        const bool gradient = params[PARAM_SCALE_X_GRADIENT]->u.bd.value != 0;
        ui.send(PARAM_SCALE_X_START, enabledIf(gradient), Collapse::Set);
        ui.send(PARAM_SCALE_X_END, enabledIf(gradient), Collapse::Set);
        ui.send(PARAM_SCALE_X, enabledIf(!gradient), Collapse::Set);
        ui.send(PARAM_SCALE_Y, Enable::Disabled, Collapse::Set);
        ui.send(PARAM_TEXTURE_LAYER, Enable::Disabled);
        ui.send(PARAM_MIRROR_Y, Enable::Disabled);
        ui.send(PARAM_MIRROR_X, Enable::Enabled);
        ui.send(PARAM_REPEAT_MIRRORED_Y, Enable::Disabled);
        ui.send(PARAM_REPEAT_MIRRORED_X, Enable::Disabled);
        ui.send(PARAM_TEXTURE_ORIGIN, Enable::Disabled);
        ui.send(PARAM_POINT, Enable::Disabled);
        ui.send(PARAM_MIRROR_TILE_AT_EDGE, Enable::Enabled);
    } else {
        ui.send(PARAM_SCALE_X_GRADIENT, Enable::Disabled, Collapse::Set);
        ui.send(PARAM_SCALE_X_START, Enable::Disabled, Collapse::Set);
        ui.send(PARAM_SCALE_X_END, Enable::Disabled, Collapse::Set);
        ui.send(PARAM_SCALE_X, Enable::Enabled, Collapse::Set);
        ui.send(PARAM_SCALE_Y, Enable::Enabled, Collapse::Set);
        ui.send(PARAM_TEXTURE_LAYER, Enable::Enabled);
        ui.send(PARAM_MIRROR_Y, Enable::Enabled);
        ui.send(PARAM_MIRROR_X, Enable::Enabled);
        ui.send(PARAM_REPEAT_MIRRORED_Y, Enable::Enabled);
        ui.send(PARAM_REPEAT_MIRRORED_X, Enable::Enabled);
        const PF_ParamDef origin = ui.send(PARAM_TEXTURE_ORIGIN, Enable::Enabled);
        const bool startOfPath = origin.u.pd.value == TEXTURE_ORIGIN_START_OF_PATH;
        ui.send(PARAM_POINT, enabledIf(!startOfPath));
        ui.send(PARAM_MIRROR_TILE_AT_EDGE, Enable::Disabled);
    }
    return PF_Err_NONE;
}

PF_Err ChangeParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) noexcept
{
    return runGuarded([&] { return updateControlStates(in_data, out_data, params); });
}
