#include "harness/state/Host.h"
#include "harness/state/Text.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "harness/state/HostState.h"
#include "harness/state/LayerBuffers.h"
#include "harness/protocol/PropertyList.h"
#include "harness/state/ThreadPool.h"
#include "harness/state/CallbackBarrier.h"

namespace harness {

namespace {

constexpr const char* kHostName = "linestra-harness";
constexpr const char* kHostVersion = "1.1";

std::string Text(const A_u_char* text)
{
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : std::string("(null)");
}

A_Err RegistrationCallback(PF_PluginDataPtr inPtr, const A_u_char* name, const A_u_char* matchName,
                           const A_u_char* category, const A_u_char* entryPoint, A_long kind, A_long apiMajor,
                           A_long apiMinor, A_long reservedInfo)
{
    HostState* host = CurrentHost();
    HostCall call(host, "PF_PluginDataCB", CallKind::Plain);
    auto args = [&] {
        return Concat({"\"", Text(name), "\", \"", Text(matchName), "\", \"", Text(category), "\", \"",
                       Text(entryPoint), "\", ", Hex(static_cast<std::uint32_t>(kind)), ", ", std::to_string(apiMajor),
                       ", ", std::to_string(apiMinor), ", ", std::to_string(reservedInfo)});
    };
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (inPtr != &host->pluginData) {
        host->violation("the registration callback received another plug-in data pointer than the host gave");
        return call.finish(PF_Err_BAD_CALLBACK_PARAM, args);
    }
    Registration& r = host->registration;
    if (++r.calls > 1)
        host->violation("the registration callback was called " + std::to_string(r.calls) + " times");
    r.name = Text(name);
    r.matchName = Text(matchName);
    r.category = Text(category);
    r.entryPoint = Text(entryPoint);
    r.kind = kind;
    r.apiVersionMajor = apiMajor;
    r.apiVersionMinor = apiMinor;
    r.reservedInfo = reservedInfo;
    return call.finish(call.injected(), args);
}

int PathParamIndex(const ParamStore& params)
{
    for (int i = 1; i < params.count(); ++i)
        if (params.def(i).param_type == PF_Param_PATH)
            return i;
    return -1;
}

// The property list of a module that carries one (a Windows module's
// resource), as the host reads it before calling the module; nothing for
// modules without one. A list that cannot be read is a violation when
// `report` is set.
std::optional<EffectPropertyValues> ModulePropertyList(HostState& h, bool report)
{
    const std::vector<std::uint8_t>& bytes = h.module->propertyList();
    if (bytes.empty())
        return std::nullopt;
    try {
        return ReadEffectProperties(ParsePropertyList(bytes, PiplByteOrder::LittleEndian), PiplByteOrder::LittleEndian);
    } catch (const PropertyListError& e) {
        if (report)
            h.violation(std::string("the module's property list cannot be read: ") + e.what());
        return std::nullopt;
    }
}

} // namespace

PF_Err RunCommand(HostState& host, PF_Cmd cmd, void* extra)
{
    if (!host.module)
        throw std::logic_error("no effect module loaded");
    host.refreshParamsArray(host.seconds());
    ThreadBinding binding(&host, 0);
    host.beginCommand(cmd);
    PF_Err err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    try {
        err = host.module->entryPoints().effectMain(cmd, &host.inData, &host.outData, host.paramPointers.data(),
                                                     nullptr, extra);
    } catch (...) {
        host.violation("an exception crossed the module boundary");
    }
    host.endCommand(err);
    return err;
}

PF_PixelFormat PixelFormatForBitDepth(int bitDepth)
{
    switch (bitDepth) {
    case 8:
        return PF_PixelFormat_ARGB32;
    case 16:
        return PF_PixelFormat_ARGB64;
    case 32:
        return PF_PixelFormat_ARGB128;
    default:
        throw std::invalid_argument("bit depth " + std::to_string(bitDepth) + " is not 8, 16 or 32 (float)");
    }
}

std::string Describe(const std::vector<Violation>& violations)
{
    std::string text;
    for (const Violation& v : violations)
        text += "[" + v.command + "] " + v.what + "\n";
    return text;
}

std::string DescribeHostFaults(const std::vector<std::string>& faults)
{
    std::string text;
    for (const std::string& fault : faults)
        text += (text.empty() ? "the host failed in " : "; the host failed in ") + fault;
    return text;
}

Host::Host(HostOptions options) : state_(std::make_unique<HostState>(std::move(options))) {}

Host::~Host() = default;

const HostOptions& Host::options() const
{
    return state_->options;
}

void Host::setThreads(int threads)
{
    state_->threads = ResolveThreadCount(threads);
    if (state_->options.keepWorkerThreads && (!state_->pool || state_->pool->size() != state_->threads))
        state_->pool = std::make_unique<WorkerPool>(state_->threads);
}

int Host::threadCount() const
{
    return state_->threads;
}

// ---- Module -----------------------------------------------------------------

void Host::load(const std::string& modulePath)
{
    state_->module = Module::Load(modulePath);
}

void Host::load(EntryPoints entry, std::string label)
{
    state_->module = Module::InProcess(entry, std::move(label));
}

bool Host::loaded() const
{
    return state_->module.has_value();
}

const std::string& Host::moduleLabel() const
{
    static const std::string none = "(no module)";
    return state_->module ? state_->module->label() : none;
}

// ---- Set-up commands ----------------------------------------------------------

PF_Err Host::registerPlugin()
{
    HostState& h = *state_;
    if (!h.module)
        throw std::logic_error("no effect module loaded");
    h.registration = Registration{};
    ThreadBinding binding(&h, 0);
    h.beginCommand(-1);
    PF_Err err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    try {
        err = h.module->entryPoints().pluginDataEntry(&h.pluginData, HostCallback<&RegistrationCallback>, &h.basic,
                                                      kHostName, kHostVersion);
    } catch (...) {
        h.violation("an exception crossed the module boundary");
    }
    if (err == PF_Err_NONE && h.registration.calls == 0)
        h.violation("PluginDataEntryFunction succeeded without calling the registration callback");
    h.registration.entryResult = err;
    // The host refuses a module whose property list says otherwise than
    // registration.
    if (err == PF_Err_NONE)
        if (const auto pipl = ModulePropertyList(h, true))
            for (const std::string& problem : CompareWithRegistration(*pipl, h.registration))
                h.violation(problem);
    h.endCommand(err);
    return err;
}

PF_Err Host::globalSetup()
{
    HostState& h = *state_;
    const PF_Err err = RunCommand(h, PF_Cmd_GLOBAL_SETUP, nullptr);
    h.myVersion = h.outData.my_version;
    h.globalOutFlags = h.outData.out_flags;
    h.globalOutFlags2 = h.outData.out_flags2;
    // The flags and version in the property list must be the ones global
    // set-up reports.
    if (err == PF_Err_NONE)
        if (const auto pipl = ModulePropertyList(h, false)) {
            std::lock_guard lock(h.mutex);
            for (const std::string& problem :
                 CompareWithGlobalSetup(*pipl, h.myVersion, h.globalOutFlags, h.globalOutFlags2, h.options.applId)) {
                const Violation violation{CommandName(PF_Cmd_GLOBAL_SETUP), problem};
                h.allViolations.push_back(violation);
                if (!h.commands.empty())
                    h.commands.back().violations.push_back(violation);
            }
        }
    return err;
}

PF_Err Host::paramsSetup()
{
    HostState& h = *state_;
    h.params.reset();
    h.uiUpdates.clear();
    const PF_Err err = RunCommand(h, PF_Cmd_PARAMS_SETUP, nullptr);
    h.inData.num_params = h.params.count();
    if (h.mask) {
        if (const int path = PathParamIndex(h.params); path > 0)
            h.params.set(path, static_cast<double>(kMaskPathId));
    }
    return err;
}

PF_Err Host::updateParamsUI(double seconds)
{
    state_->setTime(seconds);
    return RunCommand(*state_, PF_Cmd_UPDATE_PARAMS_UI, nullptr);
}

PF_Err Host::about()
{
    return RunCommand(*state_, PF_Cmd_ABOUT, nullptr);
}

PF_Err Host::setup()
{
    if (const PF_Err err = registerPlugin(); err != PF_Err_NONE)
        return err;
    if (const PF_Err err = globalSetup(); err != PF_Err_NONE)
        return err;
    if (const PF_Err err = paramsSetup(); err != PF_Err_NONE)
        return err;
    return updateParamsUI();
}

PF_Err Host::sendCommand(PF_Cmd cmd, void* extra)
{
    return RunCommand(*state_, cmd, extra);
}

const Registration& Host::registration() const
{
    return state_->registration;
}

const CommandReport& Host::lastCommand() const
{
    if (state_->commands.empty())
        throw std::logic_error("no command was sent yet");
    return state_->commands.back();
}

const std::vector<CommandReport>& Host::commands() const
{
    return state_->commands;
}

A_u_long Host::myVersion() const
{
    return state_->myVersion;
}

PF_OutFlags Host::globalOutFlags() const
{
    return state_->globalOutFlags;
}

PF_OutFlags2 Host::globalOutFlags2() const
{
    return state_->globalOutFlags2;
}

// ---- Parameters -----------------------------------------------------------------

int Host::paramCount() const
{
    return state_->params.count();
}

const PF_ParamDef& Host::paramDef(int index) const
{
    return state_->params.def(index);
}

const std::vector<PF_ParamDef>& Host::addedParams() const
{
    return state_->params.added();
}

int Host::paramIndex(const std::string& name) const
{
    const int index = state_->params.indexOf(name);
    if (index < 0) {
        std::string known;
        for (int i = 1; i < state_->params.count(); ++i) {
            const char* n = state_->params.def(i).name;
            if (n[0] != '\0')
                known += (known.empty() ? "" : ", ") + std::string("'") + n + "'";
        }
        throw std::invalid_argument("the effect has no parameter named '" + name + "'" +
                                    (known.empty() ? std::string(" (it declared none)") : " (it has " + known + ")"));
    }
    return index;
}

bool Host::paramEnabled(int index) const
{
    return (state_->params.def(index).ui_flags & PF_PUI_DISABLED) == 0;
}

void Host::setParam(const std::string& name, const ParamValue& value)
{
    state_->params.set(paramIndex(name), value);
}

void Host::setParam(int index, const ParamValue& value)
{
    state_->params.def(index); // range check with a clear message
    state_->params.set(index, value);
}

void Host::setParamKeys(const std::string& name, const std::vector<Keyframe>& keys)
{
    state_->params.setKeys(paramIndex(name), keys);
}

void Host::setParamKeys(int index, const std::vector<Keyframe>& keys)
{
    state_->params.def(index);
    state_->params.setKeys(index, keys);
}

PF_ParamDef Host::paramAt(int index, double seconds) const
{
    return state_->params.valueAt(index, seconds, Downsample{});
}

namespace {

int LayerParamIndex(Host& host, HostState& state, const std::string& name)
{
    const int index = host.paramIndex(name);
    if (state.params.def(index).param_type != PF_Param_LAYER)
        throw std::invalid_argument(state.params.label(index) + " is a " +
                                    ParamTypeName(state.params.def(index).param_type) + ", not a layer");
    return index;
}

PictureInput FromWorld(OwnedWorld picture)
{
    auto shared = std::make_shared<const OwnedWorld>(std::move(picture));
    PictureInput input;
    input.width = shared->width();
    input.height = shared->height();
    input.source = [shared](PF_PixelFormat format) {
        return shared->format() == format ? OwnedWorld(*shared) : ConvertWorld(*shared, format);
    };
    return input;
}

PictureInput FromSource(PictureSource source, A_long width, A_long height, const std::string& what)
{
    if (!source)
        throw std::invalid_argument(what + ": the picture source is empty");
    if (width < 0 || height < 0)
        throw std::invalid_argument(what + ": a picture cannot have a negative size");
    return PictureInput{std::move(source), width, height, {}};
}

} // namespace

void Host::setLayer(const std::string& name, std::optional<OwnedWorld> picture)
{
    const int index = LayerParamIndex(*this, *state_, name);
    std::lock_guard lock(state_->mutex);
    if (picture)
        state_->layerPictures[index] = FromWorld(std::move(*picture));
    else
        state_->layerPictures[index].reset();
    state_->frame.layers.erase(index);
}

void Host::setLayer(const std::string& name, PictureSource source, A_long width, A_long height)
{
    const int index = LayerParamIndex(*this, *state_, name);
    std::lock_guard lock(state_->mutex);
    state_->layerPictures[index] = FromSource(std::move(source), width, height, name);
    state_->frame.layers.erase(index);
}

void Host::clearLayer(const std::string& name)
{
    setLayer(name, std::nullopt);
}

namespace {

// The nth call (1-based, counted from now) of `function` answers `err`, or
// throws. `caller` names the Host function for the message of a bad nth.
void InjectIntoCall(HostState& state, const char* caller, const std::string& function, int nth, PF_Err err,
                    bool throws)
{
    if (nth < 1)
        throw std::invalid_argument(std::string(caller) + ": the call number is 1-based");
    std::lock_guard lock(state.mutex);
    const std::uint64_t made = state.callCounts[function];
    state.injections.push_back({function, made + static_cast<std::uint64_t>(nth), err, throws});
}

} // namespace

void Host::failCall(const std::string& function, int nth, PF_Err err)
{
    InjectIntoCall(*state_, "failCall", function, nth, err, false);
}

void Host::throwInCall(const std::string& function, int nth)
{
    InjectIntoCall(*state_, "throwInCall", function, nth, PF_Err_NONE, true);
}

const std::vector<UiUpdate>& Host::uiUpdates() const
{
    return state_->uiUpdates;
}

const std::vector<PixelFormatCall>& Host::pixelFormatCalls() const
{
    return state_->pixelFormatCalls;
}

// ---- Suites -------------------------------------------------------------------

void Host::withdrawSuite(const std::string& name, int version, Withdrawal how)
{
    std::lock_guard lock(state_->mutex);
    state_->withdrawn[{name, version}] = how;
}

void Host::restoreSuite(const std::string& name, int version)
{
    std::lock_guard lock(state_->mutex);
    state_->withdrawn.erase({name, version});
}

std::vector<std::pair<std::string, int>> Host::outstandingSuites() const
{
    std::lock_guard lock(state_->mutex);
    std::vector<std::pair<std::string, int>> out;
    for (const auto& [key, count] : state_->outstandingSuites)
        for (int i = 0; i < count; ++i)
            out.push_back(key);
    return out;
}

// ---- Mask and pictures ----------------------------------------------------------

void Host::setMask(const MaskPath& mask)
{
    state_->mask = mask;
    if (const int path = PathParamIndex(state_->params); path > 0)
        state_->params.set(path, static_cast<double>(kMaskPathId));
}

void Host::clearMask()
{
    state_->mask.reset();
    if (const int path = PathParamIndex(state_->params); path > 0)
        state_->params.set(path, 0.0);
}

void Host::setInput(OwnedWorld picture)
{
    std::lock_guard lock(state_->mutex);
    state_->input = FromWorld(std::move(picture));
    state_->frameReady = false;
}

void Host::setInput(PictureSource source, A_long width, A_long height)
{
    std::lock_guard lock(state_->mutex);
    state_->input = FromSource(std::move(source), width, height, "the input picture");
    state_->frameReady = false;
}

A_long Host::layerWidth() const
{
    return state_->input ? state_->input->width : 0;
}

A_long Host::layerHeight() const
{
    return state_->input ? state_->input->height : 0;
}

// ---- Abort ------------------------------------------------------------------------

void Host::abortFrom(int nthQuestion)
{
    state_->abortFrom = nthQuestion < 0 ? 0 : nthQuestion;
    state_->abortQuestions = 0;
    state_->userCancelled = false;
}

int Host::abortQuestions() const
{
    return state_->abortQuestions.load();
}

void Host::cancel()
{
    state_->userCancelled = true;
}

void Host::onProgress(std::function<void(A_long, A_long)> report)
{
    std::lock_guard lock(state_->mutex);
    state_->progressReport = std::move(report);
}

void Host::onIterations(std::function<void(A_long, A_long)> report)
{
    std::lock_guard lock(state_->mutex);
    state_->iterationReport = std::move(report);
}

std::atomic<bool>& Host::userCancelFlag()
{
    return state_->userCancelled;
}

// ---- Rendering ----------------------------------------------------------------------

FrameResult Host::renderFrame(const FrameRequest& request)
{
    return RenderFrame(*state_, request);
}

FrameResult Host::renderFrame(double seconds, int bitDepth, Downsample downsample)
{
    FrameRequest request;
    request.time = seconds;
    request.bitDepth = bitDepth;
    request.downsample = downsample;
    return RenderFrame(*state_, request);
}

void Host::onPreRenderData(std::function<void(void*)> inspect)
{
    state_->preRenderInspector = std::move(inspect);
}

void Host::onRenderedData(std::function<void(void*)> inspect)
{
    state_->renderedInspector = std::move(inspect);
}

double Host::frameSeconds(double start, int k) const
{
    return start + static_cast<double>(k) / state_->options.fps;
}

// ---- Trace and violations -------------------------------------------------------------

std::vector<TraceEntry> Host::trace() const
{
    return state_->trace.entries();
}

std::string Host::traceFileError() const
{
    state_->trace.flush();
    return state_->trace.fileError();
}

void Host::clearTrace()
{
    state_->trace.clear();
}

std::vector<Violation> Host::violations() const
{
    std::lock_guard lock(state_->mutex);
    return state_->allViolations;
}

void Host::clearViolations()
{
    std::lock_guard lock(state_->mutex);
    state_->allViolations.clear();
}

// ---- Low level ------------------------------------------------------------------------

void Host::setupFrame(const FrameRequest& request)
{
    state_->prepareFrame(request);
}

namespace {
thread_local std::unique_ptr<ThreadBinding> tLowLevelBinding;
}

void Host::beginCommand(PF_Cmd cmd)
{
    state_->refreshParamsArray(state_->seconds());
    state_->beginCommand(cmd);
    tLowLevelBinding = std::make_unique<ThreadBinding>(state_.get(), 0);
}

CommandReport Host::endCommand(PF_Err result)
{
    CommandReport report = state_->endCommand(result);
    tLowLevelBinding.reset();
    return report;
}

PF_InData* Host::inData()
{
    return &state_->inData;
}

PF_OutData* Host::outData()
{
    return &state_->outData;
}

SPBasicSuite* Host::basicSuite()
{
    return &state_->basic;
}

PF_EffectWorld* Host::renderInput()
{
    if (!state_->frameReady)
        state_->prepareFrame(state_->frame.request);
    return state_->frame.input ? &state_->frame.input->world() : nullptr;
}

PF_EffectWorld* Host::renderOutput()
{
    if (!state_->frameReady)
        state_->prepareFrame(state_->frame.request);
    return &state_->frame.output->world();
}

std::shared_ptr<OwnedWorld> Host::renderOutputBuffer()
{
    if (!state_->frameReady)
        state_->prepareFrame(state_->frame.request);
    return state_->frame.output;
}

PF_ParamDef** Host::paramsArray()
{
    state_->refreshParamsArray(state_->seconds());
    return state_->paramPointers.data();
}

HostState& Host::state()
{
    return *state_;
}

} // namespace harness
