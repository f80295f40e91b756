#include "harness/cli/Describe.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "harness/state/HostState.h"
#include "harness/state/Text.h"
#include "harness/state/ParamStore.h"

namespace harness {

namespace {

std::string FourCC(A_long code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return "'" + text + "'";
}

// Shortest text that reads back as the same value, so that the float
// bound 0.001f shows as 0.001.
template <typename Number>
std::string Num(Number value)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string Fixed(PF_Fixed value)
{
    return Num(static_cast<double>(value) / 65536.0);
}

struct FlagName {
    std::uint32_t bit;
    const char* name;
};

std::string FlagText(std::uint32_t flags, const std::vector<FlagName>& names)
{
    std::string text = Hex(flags);
    std::string listed;
    std::uint32_t rest = flags;
    for (const FlagName& f : names) {
        if ((flags & f.bit) != 0) {
            listed += (listed.empty() ? "" : " | ") + std::string(f.name);
            rest &= ~f.bit;
        }
    }
    if (rest != 0)
        listed += (listed.empty() ? "" : " | ") + Hex(rest);
    return listed.empty() ? text : text + " (" + listed + ")";
}

std::string PopupEntry(const char* names, A_long value)
{
    if (names == nullptr)
        return std::to_string(value);
    std::string entries(names);
    std::size_t start = 0;
    for (A_long i = 1; i < value; ++i) {
        start = entries.find('|', start);
        if (start == std::string::npos)
            return std::to_string(value);
        ++start;
    }
    const std::size_t end = entries.find('|', start);
    return std::to_string(value) + " \"" + entries.substr(start, end == std::string::npos ? end : end - start) +
           "\"";
}

// Default and range of a definition as text.
std::pair<std::string, std::string> DefaultAndRange(const PF_ParamDef& d)
{
    switch (d.param_type) {
    case PF_Param_FLOAT_SLIDER: {
        const PF_FloatSliderDef& f = d.u.fs_d;
        std::string range = Num(f.valid_min) + " to " + Num(f.valid_max);
        if (f.slider_min != f.valid_min || f.slider_max != f.valid_max)
            range += " (slider " + Num(f.slider_min) + " to " + Num(f.slider_max) + ")";
        range += ", precision " + std::to_string(f.precision);
        if ((f.display_flags & PF_ValueDisplayFlag_PERCENT) != 0)
            range += ", percent";
        return {Num(f.dephault), range};
    }
    case PF_Param_SLIDER:
        return {std::to_string(d.u.sd.dephault),
                std::to_string(d.u.sd.valid_min) + " to " + std::to_string(d.u.sd.valid_max)};
    case PF_Param_ANGLE:
        return {Fixed(d.u.ad.dephault) + " deg",
                d.u.ad.valid_min < d.u.ad.valid_max ? Fixed(d.u.ad.valid_min) + " to " + Fixed(d.u.ad.valid_max)
                                                    : std::string("any")};
    case PF_Param_CHECKBOX:
        return {d.u.bd.dephault != 0 ? "on" : "off", ""};
    case PF_Param_POPUP:
        return {PopupEntry(d.u.pd.u.namesptr, d.u.pd.dephault),
                std::to_string(d.u.pd.num_choices) + " choices: " +
                    std::string(d.u.pd.u.namesptr != nullptr ? d.u.pd.u.namesptr : "")};
    case PF_Param_POINT:
        return {Concat({"(", Fixed(d.u.td.x_dephault), ", ", Fixed(d.u.td.y_dephault), ")"}),
                d.u.td.restrict_bounds != 0 ? "within the layer" : "unrestricted"};
    case PF_Param_PATH:
        return {d.u.path_d.dephault == 0 ? std::string("none") : std::to_string(d.u.path_d.dephault), ""};
    case PF_Param_LAYER:
        return {d.u.ld.dephault == PF_LayerDefault_NONE     ? std::string("none")
                : d.u.ld.dephault == PF_LayerDefault_MYSELF ? std::string("this layer")
                                                            : std::to_string(d.u.ld.dephault),
                ""};
    default:
        return {"", ""};
    }
}

std::string Pad(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

} // namespace

std::string ShortVersion(A_u_long packed)
{
    return std::to_string(packed >> 19) + "." + std::to_string((packed >> 15) & 0xF);
}

std::string PackedVersionText(A_u_long packed)
{
    static const char* const stages[] = {"development", "alpha", "beta", "release"};
    return Hex(packed) + " = " + std::to_string(packed >> 19) + "." + std::to_string((packed >> 15) & 0xF) + "." +
           std::to_string((packed >> 11) & 0xF) + ", stage " + stages[(packed >> 9) & 0x3] + ", build " +
           std::to_string(packed & 0x1FF);
}

std::string Describe(Host& host)
{
    std::ostringstream out;
    if (host.commands().empty()) {
        if (const PF_Err err = host.setup(); err != PF_Err_NONE)
            out << "Set-up failed: " << CommandName(host.lastCommand().cmd) << " returned "
                << HostCall::ErrorText(err)
                << (host.lastCommand().returnMsg.empty() ? "" : " \"" + host.lastCommand().returnMsg + "\"") << "\n\n";
    }

    const Registration& r = host.registration();
    out << "Module: " << host.moduleLabel() << "\n";
    out << "Host: " << FourCC(host.options().applId) << "\n\n";
    out << "Registration\n";
    out << "  name:          " << r.name << "\n";
    out << "  match name:    " << r.matchName << "\n";
    out << "  category:      " << r.category << "\n";
    out << "  entry point:   " << r.entryPoint << "\n";
    out << "  kind:          " << FourCC(r.kind) << " (" << Hex(static_cast<std::uint32_t>(r.kind)) << ")\n";
    out << "  API version:   " << r.apiVersionMajor << "." << r.apiVersionMinor << "\n";
    out << "  reserved info: " << r.reservedInfo << "\n\n";

    out << "Version " << ShortVersion(host.myVersion()) << " (" << PackedVersionText(host.myVersion()) << ")\n\n";

    const std::vector<FlagName> outFlags = {{PF_OutFlag_DISPLAY_ERROR_MESSAGE, "DISPLAY_ERROR_MESSAGE"},
                                            {PF_OutFlag_PIX_INDEPENDENT, "PIX_INDEPENDENT"},
                                            {PF_OutFlag_DEEP_COLOR_AWARE, "DEEP_COLOR_AWARE"},
                                            {PF_OutFlag_SEND_UPDATE_PARAMS_UI, "SEND_UPDATE_PARAMS_UI"}};
    const std::vector<FlagName> outFlags2 = {
        {PF_OutFlag2_SUPPORTS_SMART_RENDER, "SUPPORTS_SMART_RENDER"},
        {PF_OutFlag2_FLOAT_COLOR_AWARE, "FLOAT_COLOR_AWARE"},
        {PF_OutFlag2_SUPPORTS_GPU_RENDER_F32, "SUPPORTS_GPU_RENDER_F32"},
        {PF_OutFlag2_SUPPORTS_THREADED_RENDERING, "SUPPORTS_THREADED_RENDERING"}};
    out << "Global flags\n";
    out << "  out_flags:  " << FlagText(static_cast<std::uint32_t>(host.globalOutFlags()), outFlags) << "\n";
    out << "  out_flags2: " << FlagText(static_cast<std::uint32_t>(host.globalOutFlags2()), outFlags2) << "\n";
    if (!host.pixelFormatCalls().empty()) {
        out << "  pixel formats:";
        for (const PixelFormatCall& call : host.pixelFormatCalls())
            out << (call.clear ? " clear" : " add " + Hex(call.format));
        out << "\n";
    }
    out << "\n";

    out << "Parameters (" << host.paramCount() << ", counting the input layer)\n";
    out << "  " << Pad("#", 4) << Pad("name", 24) << Pad("type", 14) << Pad("disk ID", 9) << Pad("default", 24)
        << Pad("range", 44) << "state\n";
    for (int i = 0; i < host.paramCount(); ++i) {
        const PF_ParamDef& d = host.paramDef(i);
        const auto [dephault, range] = DefaultAndRange(d);
        std::string name = i == 0 ? std::string("(input layer)") : std::string(d.name);
        const bool disabled = (d.ui_flags & PF_PUI_DISABLED) != 0;
        std::string state = disabled ? "disabled" : "enabled";
        if ((d.param_type == PF_Param_GROUP_START) && (d.flags & PF_ParamFlag_COLLAPSE_TWIRLY) != 0)
            state += ", collapsed";
        out << "  " << Pad(std::to_string(i), 4) << Pad(name, 24) << Pad(ParamTypeName(d.param_type), 14)
            << Pad(i == 0 ? std::string("-") : std::to_string(d.uu.id), 9) << Pad(dephault, 24) << Pad(range, 44)
            << state << "\n";
    }

    const std::vector<Violation> violations = host.violations();
    if (!violations.empty()) {
        out << "\nContract violations\n";
        for (const Violation& v : violations)
            out << "  [" << v.command << "] " << v.what << "\n";
    }
    return out.str();
}

std::string DescribeModule(const std::string& modulePath, A_long applId)
{
    HostOptions options;
    options.applId = applId;
    Host host(options);
    host.load(modulePath);
    return Describe(host);
}

} // namespace harness
