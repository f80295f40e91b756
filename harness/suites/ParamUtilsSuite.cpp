// "PF Param Utils Suite" version 3: PF_UpdateParamUI, recorded with a copy of
// the definition and applied to the host's controls.
#include <cstring>

#include "harness/state/HostState.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

// The value fields of a definition, to notice an effect that changes a
// value through a UI update.
bool SameValue(const PF_ParamDef& a, const PF_ParamDef& b)
{
    switch (a.param_type) {
    case PF_Param_FLOAT_SLIDER:
        return std::memcmp(&a.u.fs_d.value, &b.u.fs_d.value, sizeof a.u.fs_d.value) == 0;
    case PF_Param_SLIDER:
        return a.u.sd.value == b.u.sd.value;
    case PF_Param_FIX_SLIDER:
        return a.u.fd.value == b.u.fd.value;
    case PF_Param_ANGLE:
        return a.u.ad.value == b.u.ad.value;
    case PF_Param_CHECKBOX:
        return a.u.bd.value == b.u.bd.value;
    case PF_Param_POPUP:
        return a.u.pd.value == b.u.pd.value;
    case PF_Param_POINT:
        return a.u.td.x_value == b.u.td.x_value && a.u.td.y_value == b.u.td.y_value;
    case PF_Param_PATH:
        return a.u.path_d.path_id == b.u.path_d.path_id;
    default:
        return true;
    }
}

// Only these bits may change after set-up.
constexpr PF_ParamUIFlags kChangeableUiFlags = PF_PUI_DISABLED;
constexpr PF_ParamFlags kChangeableFlags = PF_ParamFlag_COLLAPSE_TWIRLY;

PF_Err UpdateParamUI(PF_ProgPtr ref, PF_ParamIndex index, const PF_ParamDef* def)
{
    HostState* host = HostFromRef(ref);
    HostCall call(host, "PF_UpdateParamUI", CallKind::Plain);
    auto args = [&] {
        return std::to_string(index) + (def != nullptr ? ", ui_flags=" + Hex(static_cast<std::uint32_t>(def->ui_flags)) +
                                                             ", flags=" + Hex(static_cast<std::uint32_t>(def->flags))
                                                       : std::string(", (null)"));
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard lock(host->mutex);
    UiUpdate update;
    update.index = index;
    if (def != nullptr)
        update.def = *def;
    auto refuse = [&](PF_Err err, const std::string& why) {
        host->violation("PF_UpdateParamUI(" + std::to_string(index) + "): " + why);
        update.result = err;
        host->uiUpdates.push_back(update);
        return call.finish(err, args);
    };
    if (call.injected() != PF_Err_NONE) {
        update.result = call.injected();
        host->uiUpdates.push_back(update);
        return call.finish(call.injected(), args);
    }
    if (def == nullptr)
        return refuse(PF_Err_BAD_CALLBACK_PARAM, "no definition");
    if (index < 1 || index >= host->params.count())
        return refuse(PF_Err_INVALID_INDEX, "no such parameter");
    const PF_Cmd cmd = host->command.cmd;
    if (cmd != PF_Cmd_UPDATE_PARAMS_UI && cmd != PF_Cmd_USER_CHANGED_PARAM)
        return refuse(PF_Err_BAD_CALLBACK_PARAM, "called outside UPDATE_PARAMS_UI and USER_CHANGED_PARAM");

    const PF_ParamDef& current = host->params.def(index);
    const std::string who = host->params.label(index);
    if (def->param_type != current.param_type)
        return refuse(PF_Err_BAD_CALLBACK_PARAM, "the copy of " + who + " has another type");
    if (std::strncmp(def->name, current.name, sizeof def->name) != 0)
        host->violation("PF_UpdateParamUI changed the name of " + who);
    if (def->uu.id != current.uu.id)
        host->violation("PF_UpdateParamUI changed the disk ID of " + who);
    if ((def->ui_flags & ~kChangeableUiFlags) != (current.ui_flags & ~kChangeableUiFlags))
        host->violation("PF_UpdateParamUI changed ui_flags of " + who + " beyond PF_PUI_DISABLED");
    if ((def->flags & ~kChangeableFlags) != (current.flags & ~kChangeableFlags))
        host->violation("PF_UpdateParamUI changed flags of " + who + " beyond PF_ParamFlag_COLLAPSE_TWIRLY");
    if (static_cast<std::size_t>(index) < host->paramValues.size() &&
        !SameValue(*def, host->paramValues[static_cast<std::size_t>(index)]))
        host->violation("PF_UpdateParamUI changed the value of " + who);

    host->params.applyUi(index, *def);
    host->uiUpdates.push_back(update);
    return call.finish(PF_Err_NONE, args);
}

} // namespace

const PF_ParamUtilsSuite3& ParamUtilsSuite()
{
    static const PF_ParamUtilsSuite3 suite = [] {
        PF_ParamUtilsSuite3 s{};
        s.PF_UpdateParamUI = HostCallback<&UpdateParamUI>;
        return s;
    }();
    return suite;
}

} // namespace harness
