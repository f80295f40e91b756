#include "harness/scenes/Scene.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "harness/images/Images.h"

namespace harness {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

const std::string kDemoSceneText = R"({
  "size": [640, 360],
  "input": {"pattern": "gradient"},
  "mask": {"circle": [320, 180, 120]},
  "params": {
    "Specified Layer": null
  },
  "render": {"bit_depth": 8, "downsample": [1, 1], "time": 0.0, "fps": 24, "frames": [0, 0]}
}
)";

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string KindOf(const json& j)
{
    switch (j.type()) {
    case json::value_t::null:
        return "null";
    case json::value_t::boolean:
        return j.get<bool>() ? "true" : "false";
    case json::value_t::string:
        return "the text " + j.dump();
    case json::value_t::array:
        return "a list of " + std::to_string(j.size());
    case json::value_t::object:
        return "an object";
    default:
        return j.dump();
    }
}

// 1-based line and column of byte `at`.
std::pair<std::size_t, std::size_t> LineAndColumn(const std::string& text, std::size_t at)
{
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < at && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

// A text quoted in a message, cut to its first 40 characters.
std::string Shortened(const std::string& text)
{
    constexpr std::size_t kShown = 40;
    if (text.size() <= kShown)
        return text;
    return text.substr(0, kShown) + "... (" + std::to_string(text.size()) + " characters)";
}

// Whether a string anywhere in `value` (keys included) holds a NUL.
bool HoldsNul(const json& value)
{
    if (value.is_string())
        return value.get_ref<const std::string&>().find('\0') != std::string::npos;
    if (value.is_object()) {
        for (const auto& [key, item] : value.items())
            if (key.find('\0') != std::string::npos || HoldsNul(item))
                return true;
    } else if (value.is_array()) {
        for (const json& item : value)
            if (HoldsNul(item))
                return true;
    }
    return false;
}

// Parses JSON and refuses a key given twice in one object (the library
// would keep the last one silently).
json ParseStrict(const std::string& text, const std::string& file)
{
    std::vector<std::set<std::string>> keys;
    std::string duplicate;
    const json::parser_callback_t check = [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) {
            keys.emplace_back();
        } else if (event == json::parse_event_t::object_end) {
            keys.pop_back();
        } else if (event == json::parse_event_t::key && !keys.empty()) {
            const std::string key = parsed.get<std::string>();
            if (!keys.back().insert(key).second && duplicate.empty())
                duplicate = key;
        }
        return true;
    };
    try {
        json document = json::parse(text, check);
        if (!duplicate.empty())
            throw SceneError(file + ": the key " + Quoted(duplicate) + " is given twice in one object");
        // No file name or text of a scene may hold a NUL (\u0000): the
        // system would cut a name there.
        if (HoldsNul(document)) {
            const std::size_t at = text.find("\\u0000");
            std::string where;
            if (at != std::string::npos) {
                const auto [line, column] = LineAndColumn(text, at);
                where = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
            }
            throw SceneError(file + ": " + where + "a text holds the character \\u0000, which no name or text may contain");
        }
        return document;
    } catch (const json::out_of_range& e) {
        // A number beyond double ("1e400"): the library names the number but
        // not where it stands.
        const std::string what = e.what();
        const std::size_t open = what.find('\'');
        const std::size_t close = open == std::string::npos ? open : what.find('\'', open + 1);
        const std::string number = close == std::string::npos ? std::string() : what.substr(open + 1, close - open - 1);
        const std::size_t at = number.empty() ? std::string::npos : text.find(number);
        std::string where;
        if (at != std::string::npos) {
            const auto [line, column] = LineAndColumn(text, at);
            where = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
        }
        throw SceneError(file + ": " + where + "the number " + Shortened(number) +
                         " is too large (beyond the range of a double)");
    } catch (const json::parse_error& e) {
        // Line and column of the token where reading stopped: the library
        // gives the last byte it read, the end of that token.
        std::size_t stop = std::min<std::size_t>(e.byte > 0 ? e.byte - 1 : 0, text.size());
        if (stop < text.size() && text[stop] == '"') {
            std::size_t open = stop;
            while (open > 0) {
                --open;
                if (text[open] == '"' && (open == 0 || text[open - 1] != '\\'))
                    break;
            }
            if (text[open] == '"')
                stop = open;
        } else {
            const auto inWord = [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
            };
            // A literal or number cut short ("nul}") ends on the byte after
            // it.
            const bool brokenWord = std::string(e.what()).find("invalid") != std::string::npos;
            if (brokenWord && stop > 0 && (stop == text.size() || !inWord(text[stop])) && inWord(text[stop - 1]))
                --stop;
            while (stop > 0 && stop < text.size() && inWord(text[stop]) && inWord(text[stop - 1]))
                --stop;
        }
        const auto [line, column] = LineAndColumn(text, stop);
        std::string reason = e.what();
        const std::size_t colon = reason.find(": ", reason.find("parse error"));
        if (colon != std::string::npos)
            reason = reason.substr(colon + 2);
        throw SceneError(file + ": line " + std::to_string(line) + ", column " + std::to_string(column) +
                         ": not valid JSON: " + reason);
    }
}

// Reads typed values out of a scene's JSON, naming the file and key path in
// every complaint.
class SceneReader {
public:
    SceneReader(std::string file, fs::path folder) : file_(std::move(file)), folder_(std::move(folder)) {}

    [[noreturn]] void fail(const std::string& key, const std::string& why) const
    {
        throw SceneError((file_.empty() ? std::string() : file_ + ": ") + key + ": " + why);
    }

    void onlyKeys(const json& object, const std::string& key, std::initializer_list<const char*> allowed) const
    {
        for (const auto& [name, value] : object.items()) {
            bool known = false;
            for (const char* a : allowed)
                known = known || name == a;
            if (!known) {
                std::string list;
                for (const char* a : allowed)
                    list += (list.empty() ? "" : ", ") + std::string(a);
                fail(key.empty() ? Quoted(name) : key + "." + name,
                     "unknown key " + Quoted(name) + " (known here: " + list + ")");
            }
        }
    }

    const json& object(const json& j, const std::string& key) const
    {
        if (!j.is_object())
            fail(key, "must be an object {...}, not " + KindOf(j));
        return j;
    }

    double number(const json& j, const std::string& key) const
    {
        if (!j.is_number())
            fail(key, "must be a number, not " + KindOf(j));
        return j.get<double>();
    }

    long long integer(const json& j, const std::string& key, long long min, long long max) const
    {
        const double v = number(j, key);
        if (v != std::floor(v))
            fail(key, "must be a whole number, not " + j.dump());
        if (v < static_cast<double>(min) || v > static_cast<double>(max))
            fail(key, j.dump() + " lies outside " + std::to_string(min) + " to " + std::to_string(max));
        return static_cast<long long>(v);
    }

    std::vector<double> numbers(const json& j, const std::string& key, std::size_t count) const
    {
        if (!j.is_array() || j.size() != count)
            fail(key, "must be a list of " + std::to_string(count) + " numbers, not " + KindOf(j));
        std::vector<double> out;
        for (std::size_t i = 0; i < count; ++i)
            out.push_back(number(j[i], key + "[" + std::to_string(i) + "]"));
        return out;
    }

    std::vector<Vec2> points(const json& j, const std::string& key) const
    {
        if (!j.is_array())
            fail(key, "must be a list of [x, y] points, not " + KindOf(j));
        std::vector<Vec2> out;
        for (std::size_t i = 0; i < j.size(); ++i) {
            const std::vector<double> p = numbers(j[i], key + "[" + std::to_string(i) + "]", 2);
            out.push_back(Vec2{p[0], p[1]});
        }
        return out;
    }

    std::pair<A_long, A_long> size(const json& j, const std::string& key) const
    {
        if (!j.is_array() || j.size() != 2)
            fail(key, "must be [width, height], not " + KindOf(j));
        const auto w = static_cast<A_long>(integer(j[0], key + "[0]", 1, kMaxImageSide));
        const auto h = static_cast<A_long>(integer(j[1], key + "[1]", 1, kMaxImageSide));
        return {w, h};
    }

    static fs::path Resolve(const fs::path& folder, const std::string& name)
    {
        const fs::path p(name);
        return p.is_absolute() || folder.empty() ? p : folder / p;
    }

    PictureSpec picture(const json& j, const std::string& key, const fs::path& base) const
    {
        PictureSpec spec;
        if (j.is_string()) {
            if (j.get<std::string>().empty())
                fail(key, "must be an image file name, not an empty text");
            spec.file = Resolve(base, j.get<std::string>());
            return spec;
        }
        if (!j.is_object() || !j.contains("pattern"))
            fail(key, "must be an image file name or {\"pattern\": NAME}, not " + KindOf(j));
        onlyKeys(j, key, {"pattern", "cell", "size"});
        const json& name = j["pattern"];
        bool known = false;
        std::string list;
        for (const std::string& p : PatternNames()) {
            known = known || (name.is_string() && name.get<std::string>() == p);
            list += (list.empty() ? "" : ", ") + p;
        }
        if (!known)
            fail(key + ".pattern", "unknown pattern " + name.dump() + " (known: " + list + ")");
        spec.pattern = name.get<std::string>();
        if (j.contains("cell"))
            spec.cell = static_cast<A_long>(integer(j["cell"], key + ".cell", 1, kMaxImageSide));
        if (j.contains("size"))
            spec.size = size(j["size"], key + ".size");
        return spec;
    }

    MaskPath mask(const json& j) const
    {
        const std::string key = "mask";
        object(j, key);
        onlyKeys(j, key, {"points", "vertices", "in", "out", "circle", "ellipse", "rect", "svg", "subpath", "closed",
                          "transform"});
        std::vector<std::string> shapes;
        for (const char* shape : {"points", "vertices", "circle", "ellipse", "rect", "svg"})
            if (j.contains(shape))
                shapes.emplace_back(shape);
        if (shapes.size() != 1)
            fail(key, shapes.empty() ? "needs one of points, vertices, circle, ellipse, rect, svg"
                                     : "takes one shape, not " + shapes[0] + " and " + shapes[1]);
        const std::string& shape = shapes[0];
        if ((j.contains("in") || j.contains("out")) && shape != "vertices")
            fail(key, "\"in\" and \"out\" handles go with \"vertices\"");
        if (j.contains("subpath") && shape != "svg")
            fail(key, "\"subpath\" goes with \"svg\"");
        if (j.contains("closed") && shape == "svg")
            fail(key, "\"closed\" does not apply to \"svg\": path data closes a subpath with Z");
        bool closed = true;
        if (j.contains("closed")) {
            if (!j["closed"].is_boolean())
                fail(key + ".closed", "must be true or false, not " + KindOf(j["closed"]));
            closed = j["closed"].get<bool>();
        }

        MaskPath path;
        try {
            if (shape == "points") {
                path = PolygonPath(points(j["points"], key + ".points"), closed);
            } else if (shape == "vertices") {
                const std::vector<Vec2> at = points(j["vertices"], key + ".vertices");
                const auto handles = [&](const char* which) {
                    if (!j.contains(which))
                        return std::vector<Vec2>(at.size());
                    std::vector<Vec2> h = points(j[which], key + "." + which);
                    if (h.size() != at.size())
                        fail(key + "." + which, "has " + std::to_string(h.size()) + " handles for " +
                                                    std::to_string(at.size()) + " vertices");
                    return h;
                };
                const std::vector<Vec2> in = handles("in");
                const std::vector<Vec2> out = handles("out");
                std::vector<MaskVertex> vertices;
                for (std::size_t i = 0; i < at.size(); ++i)
                    vertices.push_back(MaskVertex{at[i], in[i], out[i]});
                path = MaskPath(std::move(vertices), closed);
            } else if (shape == "circle") {
                const std::vector<double> c = numbers(j["circle"], key + ".circle", 3);
                if (!(c[2] > 0))
                    fail(key + ".circle", "the radius must be greater than 0, not " + j["circle"][2].dump());
                path = EllipsePath(c[0], c[1], c[2], c[2]);
            } else if (shape == "ellipse") {
                const std::vector<double> e = numbers(j["ellipse"], key + ".ellipse", 4);
                path = EllipsePath(e[0], e[1], e[2], e[3]);
            } else if (shape == "rect") {
                const std::vector<double> r = numbers(j["rect"], key + ".rect", 4);
                path = RectanglePath(r[0], r[1], r[2], r[3]);
            } else {
                if (!j["svg"].is_string())
                    fail(key + ".svg", "must be SVG path data text, not " + KindOf(j["svg"]));
                const int subpath =
                    j.contains("subpath") ? static_cast<int>(integer(j["subpath"], key + ".subpath", 0, 1000000)) : -1;
                path = SvgPath(j["svg"].get<std::string>(), subpath);
            }
        } catch (const SceneError&) {
            throw;
        } catch (const std::exception& e) {
            fail(key + "." + shape, e.what());
        }
        if (path.isClosed() != closed && shape != "svg")
            path = MaskPath(path.vertices(), closed);
        if (j.contains("transform")) {
            const std::vector<double> m = numbers(j["transform"], key + ".transform", 6);
            try {
                path = path.transformed({m[0], m[1], m[2], m[3], m[4], m[5]});
            } catch (const std::exception& e) {
                fail(key + ".transform", e.what());
            }
        }
        return path;
    }

    SceneValue value(const json& j, const std::string& key, const fs::path& base) const
    {
        switch (j.type()) {
        case json::value_t::null:
            return std::monostate{};
        case json::value_t::boolean:
            return j.get<bool>();
        case json::value_t::number_integer:
        case json::value_t::number_unsigned:
        case json::value_t::number_float:
            return j.get<double>();
        case json::value_t::string:
            return j.get<std::string>();
        case json::value_t::array: {
            const std::vector<double> p = numbers(j, key, 2);
            return PointValue{p[0], p[1]};
        }
        case json::value_t::object:
            if (j.contains("pattern"))
                return picture(j, key, base);
            fail(key, "an object here is {\"keys\": [[seconds, value], ...]} or {\"pattern\": NAME}");
        default:
            fail(key, "cannot take " + KindOf(j));
        }
    }

    SceneParam param(const std::string& name, const json& j, const std::string& where, const fs::path& base) const
    {
        SceneParam p;
        p.name = name;
        p.where = where;
        p.base = base;
        const std::string key = where + (where == "params" ? "." : " ") + Quoted(name);
        if (j.is_object() && j.contains("keys")) {
            onlyKeys(j, key, {"keys"});
            const json& keys = j["keys"];
            if (!keys.is_array() || keys.empty())
                fail(key + ".keys", "must be a list of [seconds, value] pairs, at least one");
            for (std::size_t i = 0; i < keys.size(); ++i) {
                const std::string at = key + ".keys[" + std::to_string(i) + "]";
                if (!keys[i].is_array() || keys[i].size() != 2)
                    fail(at, "must be [seconds, value], not " + KindOf(keys[i]));
                const double seconds = number(keys[i][0], at + "[0]");
                if (!p.keys.empty() && !(seconds > p.keys.back().first))
                    fail(at, "keys must be in increasing time order");
                if (keys[i][1].is_object() && keys[i][1].contains("keys"))
                    fail(at, "a key cannot hold keys");
                p.keys.emplace_back(seconds, value(keys[i][1], at + "[1]", base));
            }
        } else {
            p.value = value(j, key, base);
        }
        return p;
    }

    RenderSettings render(const json& j, RenderSettings r) const
    {
        const std::string key = "render";
        object(j, key);
        onlyKeys(j, key, {"bit_depth", "downsample", "time", "fps", "frames", "threads", "app"});
        if (j.contains("bit_depth")) {
            const long long depth = integer(j["bit_depth"], key + ".bit_depth", 8, 32);
            if (depth != 8 && depth != 16 && depth != 32)
                fail(key + ".bit_depth", "must be 8, 16 or 32 (float), not " + std::to_string(depth));
            r.bitDepth = static_cast<int>(depth);
        }
        if (j.contains("downsample")) {
            const json& d = j["downsample"];
            if (!d.is_array() || (d.size() != 2 && d.size() != 4))
                fail(key + ".downsample", "must be [n, d] or [nx, dx, ny, dy], not " + KindOf(d));
            std::vector<long long> f;
            for (std::size_t i = 0; i < d.size(); ++i)
                f.push_back(integer(d[i], key + ".downsample[" + std::to_string(i) + "]", 1, 65536));
            if (f.size() == 2)
                f = {f[0], f[1], f[0], f[1]};
            if (f[0] > f[1] || f[2] > f[3])
                fail(key + ".downsample", "a render scale cannot enlarge: n must not exceed d");
            r.downsample = Downsample{static_cast<A_long>(f[0]), static_cast<A_u_long>(f[1]),
                                      static_cast<A_long>(f[2]), static_cast<A_u_long>(f[3])};
        }
        if (j.contains("time")) {
            r.time = number(j["time"], key + ".time");
            if (!std::isfinite(r.time))
                fail(key + ".time", "must be a finite number of seconds");
        }
        if (j.contains("fps")) {
            r.fps = number(j["fps"], key + ".fps");
            if (!(r.fps > 0) || r.fps > 1000)
                fail(key + ".fps", "must lie above 0 and at most 1000, not " + j["fps"].dump());
            if (HostTimeScale(r.fps) == 0)
                fail(key + ".fps", j["fps"].dump() + " gives no usable time scale (the host counts time in steps of "
                                                     "1/(fps x 1000) s); the lowest frame rate is 0.0005");
        }
        if (j.contains("frames")) {
            const json& f = j["frames"];
            if (!f.is_array() || f.size() != 2)
                fail(key + ".frames", "must be [first, last], not " + KindOf(f));
            r.firstFrame = static_cast<int>(integer(f[0], key + ".frames[0]", 0, kMaxFrame));
            r.lastFrame = static_cast<int>(integer(f[1], key + ".frames[1]", 0, kMaxFrame));
            if (r.lastFrame < r.firstFrame)
                fail(key + ".frames", "the last frame comes before the first");
        }
        if (const std::string problem = FrameTimeProblem(r); !problem.empty())
            fail(key + (j.contains("frames") ? ".frames" : ".time"), problem);
        if (j.contains("threads"))
            r.threads = static_cast<int>(integer(j["threads"], key + ".threads", 0, 1024));
        if (j.contains("app")) {
            const json& app = j["app"];
            if (app == "FXTC")
                r.applId = kApplIdCompositor;
            else if (app == "PrMr")
                r.applId = kApplIdEditor;
            else
                fail(key + ".app", "must be \"FXTC\" or \"PrMr\", not " + app.dump());
        }
        return r;
    }

    Scene scene(const json& document) const
    {
        if (!document.is_object())
            throw SceneError(file_ + ": a scene is a JSON object {...}, not " + KindOf(document));
        onlyKeys(document, "", {"size", "input", "mask", "params", "render", "output"});
        Scene s;
        s.file = file_;
        s.folder = folder_;
        if (document.contains("size"))
            s.size = size(document["size"], "size");
        if (document.contains("input"))
            s.input = picture(document["input"], "input", folder_);
        else
            s.input.pattern = "gradient";
        if (document.contains("mask"))
            s.mask = mask(document["mask"]);
        if (document.contains("params")) {
            for (const auto& [name, value] : object(document["params"], "params").items())
                s.params.push_back(param(name, value, "params", folder_));
        }
        if (document.contains("render"))
            s.render = render(document["render"], s.render);
        // The output, like -o and every command-line tool's output, is
        // relative to the current folder; only what the scene reads is
        // relative to the scene's folder.
        if (document.contains("output")) {
            const json& output = document["output"];
            if (!output.is_string() || output.get<std::string>().empty())
                fail("output", "must be a file name, not " + KindOf(output));
            s.output = output.get<std::string>();
        }
        return s;
    }

private:
    std::string file_;
    fs::path folder_;
};

// The scene value as the host's parameter value, for non-layer parameters.
ParamValue ToParamValue(const SceneValue& value, const std::string& who)
{
    if (const auto* b = std::get_if<bool>(&value))
        return *b;
    if (const auto* d = std::get_if<double>(&value))
        return *d;
    if (const auto* p = std::get_if<PointValue>(&value))
        return *p;
    if (const auto* t = std::get_if<std::string>(&value))
        return *t;
    if (std::holds_alternative<std::monostate>(value))
        throw std::invalid_argument(who + " cannot be null");
    throw std::invalid_argument(who + " takes no picture");
}

PictureSource SourceOf(const PictureSpec& spec, A_long width, A_long height)
{
    if (!spec.file.empty()) {
        auto image = ImageFile::Read(spec.file.string());
        return [image](PF_PixelFormat format) { return image->toWorld(format); };
    }
    return [spec, width, height](PF_PixelFormat format) {
        return GeneratePattern(spec.pattern, width, height, format, spec.cell);
    };
}

} // namespace

Scene ParseScene(const std::string& text, const std::string& file, const fs::path& folder)
{
    const json document = ParseStrict(text, file);
    return SceneReader(file, folder).scene(document);
}

void CheckSceneJson(const std::string& text, const std::string& file)
{
    ParseStrict(text, file);
}

Scene LoadScene(const std::string& path)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw SceneError(path + ": no such scene file");
    if (fs::is_directory(path, ec))
        throw SceneError(path + ": cannot read the scene file");
    // Read up to a limit no scene comes near: a pipe (a shell's <(...)) is
    // read as a file is, and a device that never ends (/dev/zero) is refused
    // instead of filling memory.
    constexpr std::size_t kMaxSceneBytes = std::size_t{64} << 20;
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char buffer[65536];
    while (in && text.size() <= kMaxSceneBytes) {
        in.read(buffer, sizeof buffer);
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (text.size() > kMaxSceneBytes)
        throw SceneError(path + ": the scene file is larger than 64 MB");
    if (in.bad() || !in.eof())
        throw SceneError(path + ": cannot read the scene file");
    return ParseScene(text, path, fs::path(path).parent_path());
}

const std::string& DemoSceneText()
{
    return kDemoSceneText;
}

Scene DemoScene()
{
    Scene scene = ParseScene(kDemoSceneText, "(built-in demo scene)", fs::path());
    scene.file = "demo";
    return scene;
}

void AddSetting(Scene& scene, const std::string& assignment, const fs::path& base)
{
    const std::size_t equals = assignment.find('=');
    const std::string where = "--set " + Quoted(assignment);
    if (equals == std::string::npos || equals == 0)
        throw SceneError(where + ": expected NAME=VALUE");
    const std::string name = assignment.substr(0, equals);
    const std::string text = assignment.substr(equals + 1);
    // JSON when it reads as JSON, text otherwise ("Original Frame",
    // "texture.png").
    json value = json::parse(text, nullptr, false);
    if (value.is_discarded()) {
        // A number beyond double does not read as JSON either: say so,
        // rather than that the control takes a number. Any other text
        // ("1e999.png") is text.
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        if (!text.empty() && end == text.c_str() + text.size() && std::isinf(number) &&
            text.find_first_of("iI") == std::string::npos)
            throw SceneError(where + ": the number " + Shortened(text) + " is too large (beyond the range of a double)");
        value = text;
    }
    if (HoldsNul(value))
        throw SceneError(where + ": a text holds the character \\u0000, which no name or text may contain");
    SceneParam param = SceneReader("", base).param(name, value, "--set", base);
    for (SceneParam& existing : scene.params)
        if (existing.name == name) {
            existing = std::move(param);
            return;
        }
    scene.params.push_back(std::move(param));
}

Downsample ParseDownsample(const std::string& text)
{
    const auto fraction = [&text](const std::string& part) {
        const std::size_t slash = part.find_first_of("/:");
        if (slash == std::string::npos)
            throw std::invalid_argument("render scale " + Quoted(text) + ": expected N/D or NX/DX,NY/DY");
        long long n = 0, d = 0;
        try {
            std::size_t used = 0;
            n = std::stoll(part.substr(0, slash), &used);
            if (used != slash)
                throw std::invalid_argument(part);
            const std::string rest = part.substr(slash + 1);
            d = std::stoll(rest, &used);
            if (used != rest.size())
                throw std::invalid_argument(part);
        } catch (const std::exception&) {
            throw std::invalid_argument("render scale " + Quoted(text) + ": expected N/D or NX/DX,NY/DY");
        }
        if (n < 1 || d < 1 || n > d || d > 65536)
            throw std::invalid_argument("render scale " + Quoted(text) +
                                        ": each N/D needs 1 <= N <= D <= 65536 (a render scale cannot enlarge)");
        return std::pair<long long, long long>{n, d};
    };
    const std::size_t comma = text.find(',');
    const auto x = fraction(text.substr(0, comma));
    const auto y = comma == std::string::npos ? x : fraction(text.substr(comma + 1));
    return Downsample{static_cast<A_long>(x.first), static_cast<A_u_long>(x.second), static_cast<A_long>(y.first),
                      static_cast<A_u_long>(y.second)};
}

std::string FrameTimeProblem(const RenderSettings& render)
{
    if (render.firstFrame < 0 || render.lastFrame > kMaxFrame || render.lastFrame < render.firstFrame)
        return "frames " + std::to_string(render.firstFrame) + " to " + std::to_string(render.lastFrame) +
               ": frames count from 0 to " + std::to_string(kMaxFrame) + " and the last comes at or after the first";
    const A_u_long scale = HostTimeScale(render.fps);
    if (scale == 0)
        return "the frame rate " + std::to_string(render.fps) + " gives no usable time scale";
    for (const int frame : {render.firstFrame, render.lastFrame}) {
        // As Host::frameSeconds computes it.
        const double seconds = render.time + static_cast<double>(frame) / render.fps;
        if (!FitsHostTime(seconds, render.fps)) {
            const double limit = (2147483647.0 - 1000.0) / static_cast<double>(scale);
            std::ostringstream text;
            text << "frame " << frame << " falls at " << seconds << " s, but the host counts time in 32 bits at "
                 << scale << " steps per second, so frames must lie within " << static_cast<long long>(limit)
                 << " s of time 0";
            return text.str();
        }
    }
    return {};
}

HostOptions SceneHostOptions(const Scene& scene)
{
    HostOptions options;
    options.applId = scene.render.applId;
    options.threads = scene.render.threads;
    options.fps = scene.render.fps;
    return options;
}

std::pair<A_long, A_long> SceneLayerSize(const Scene& scene)
{
    if (scene.size)
        return *scene.size;
    if (!scene.input.file.empty()) {
        try {
            const auto image = ImageFile::Read(scene.input.file.string());
            return {image->width(), image->height()};
        } catch (const ImageError& e) {
            throw SceneError(scene.file + ": input: " + e.what());
        }
    }
    if (scene.input.size)
        return *scene.input.size;
    throw SceneError(scene.file + ": size: needed when the input is a generated picture");
}

void ApplyScene(const Scene& scene, Host& host)
{
    const auto fail = [&scene](const std::string& key, const std::string& why) {
        throw SceneError(scene.file + ": " + key + ": " + why);
    };

    // The layer: its picture and size.
    if (!scene.input.file.empty()) {
        std::shared_ptr<const ImageFile> image;
        try {
            image = ImageFile::Read(scene.input.file.string());
        } catch (const ImageError& e) {
            fail("input", e.what());
        }
        if (scene.size && (scene.size->first != image->width() || scene.size->second != image->height()))
            fail("size", "[" + std::to_string(scene.size->first) + ", " + std::to_string(scene.size->second) +
                             "] differs from the input image's " + std::to_string(image->width()) + " x " +
                             std::to_string(image->height()));
        host.setInput([image](PF_PixelFormat format) { return image->toWorld(format); }, image->width(),
                      image->height());
    } else {
        const auto [width, height] = SceneLayerSize(scene);
        host.setInput(SourceOf(scene.input, width, height), width, height);
    }
    const A_long width = host.layerWidth();
    const A_long height = host.layerHeight();

    if (scene.mask)
        host.setMask(*scene.mask);
    else
        host.clearMask();

    for (const SceneParam& p : scene.params) {
        const std::string prefix = p.where == "--set" ? std::string("--set") : scene.file + ": " + p.where;
        const auto complain = [&prefix](const std::string& why) { throw SceneError(prefix + ": " + why); };
        int index = -1;
        try {
            index = host.paramIndex(p.name);
        } catch (const std::exception& e) {
            complain(e.what());
        }
        const PF_ParamDef& def = host.paramDef(index);
        try {
            if (def.param_type == PF_Param_PATH) {
                complain(p.name + " is chosen by the scene's \"mask\", not set as a value");
            } else if (def.param_type == PF_Param_LAYER) {
                if (!p.keys.empty())
                    complain(p.name + " is a layer and cannot be animated with keys");
                if (std::holds_alternative<std::monostate>(p.value)) {
                    host.clearLayer(p.name);
                    continue;
                }
                PictureSpec picture;
                if (const auto* name = std::get_if<std::string>(&p.value)) {
                    if (name->empty())
                        complain(p.name + " takes an image file name, null, or {\"pattern\": NAME}");
                    picture.file = SceneReader::Resolve(p.base, *name);
                } else if (const auto* spec = std::get_if<PictureSpec>(&p.value)) {
                    picture = *spec;
                } else {
                    complain(p.name + " takes an image file name, null, or {\"pattern\": NAME}");
                }
                if (!picture.file.empty()) {
                    const auto image = ImageFile::Read(picture.file.string());
                    host.setLayer(p.name, [image](PF_PixelFormat format) { return image->toWorld(format); },
                                  image->width(), image->height());
                } else {
                    const A_long w = picture.size ? picture.size->first : width;
                    const A_long h = picture.size ? picture.size->second : height;
                    host.setLayer(p.name, SourceOf(picture, w, h), w, h);
                }
            } else if (!p.keys.empty()) {
                std::vector<Keyframe> keys;
                for (const auto& [seconds, value] : p.keys)
                    keys.push_back(Keyframe{seconds, ToParamValue(value, p.name)});
                host.setParamKeys(index, keys);
            } else {
                host.setParam(index, ToParamValue(p.value, p.name));
            }
        } catch (const SceneError&) {
            throw;
        } catch (const std::exception& e) {
            complain(e.what());
        }
    }
}

std::string FrameOutputPath(const std::string& output, int frame, bool numbered)
{
    const fs::path path(output);
    const std::string name = path.filename().string();
    const std::size_t run = name.find('#');
    if (run != std::string::npos) {
        std::size_t end = run;
        while (end < name.size() && name[end] == '#')
            ++end;
        std::string number = std::to_string(frame);
        if (number.size() < end - run)
            number.insert(0, end - run - number.size(), '0');
        return (path.parent_path() / (name.substr(0, run) + number + name.substr(end))).string();
    }
    if (!numbered)
        return output;
    std::string number = std::to_string(frame);
    if (number.size() < 4)
        number.insert(0, 4 - number.size(), '0');
    return (path.parent_path() / (path.stem().string() + "_" + number + path.extension().string())).string();
}

std::string DefaultOutputPath(const Scene& scene, const fs::path& folder)
{
    const std::string stem = fs::path(scene.file).stem().string();
    const std::string extension = scene.render.bitDepth == 32 ? ".exr" : ".png";
    return (folder / ((stem.empty() ? std::string("out") : stem) + extension)).string();
}

} // namespace harness
