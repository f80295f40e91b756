// linestra-pipl: writes the effect's plug-in property list at build time.
//
//   linestra-pipl [--target windows|macos] --output FILE [--rc FILE]
//
// --output writes the binary property list of the target platform (the
// Windows resource's data, or the macOS resource's data); --rc also writes a
// Windows resource script that binds the written file as resource PIPL 16000.
#include "tools/pipl/Pipl.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

namespace {

int usage(const char* message)
{
    std::fprintf(stderr, "linestra-pipl: %s\nusage: linestra-pipl [--target windows|macos] --output FILE [--rc FILE]\n",
                 message);
    return 2;
}

bool writeFile(const std::string& path, const char* data, std::size_t size)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(data, static_cast<std::streamsize>(size));
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace Linestra::Pipl;
    Target target = Target::Windows;
    std::string output;
    std::string resourceScript;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return usage(("missing value after " + arg).c_str());
        const std::string value = argv[++i];
        if (arg == "--target") {
            if (value == "windows")
                target = Target::Windows;
            else if (value == "macos")
                target = Target::MacOS;
            else
                return usage(("unknown target \"" + value + "\" (windows or macos)").c_str());
        } else if (arg == "--output" || arg == "-o") {
            output = value;
        } else if (arg == "--rc") {
            resourceScript = value;
        } else {
            return usage(("unknown option " + arg).c_str());
        }
    }
    if (output.empty()) return usage("--output is required");

    try {
        const std::vector<std::uint8_t> pipl = effectPipl(target);
        if (!writeFile(output, reinterpret_cast<const char*>(pipl.data()), pipl.size())) {
            std::fprintf(stderr, "linestra-pipl: cannot write %s\n", output.c_str());
            return 1;
        }
        if (!resourceScript.empty()) {
            const std::string script = windowsResourceScript(output);
            if (!writeFile(resourceScript, script.data(), script.size())) {
                std::fprintf(stderr, "linestra-pipl: cannot write %s\n", resourceScript.c_str());
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "linestra-pipl: %s\n", e.what());
        return 1;
    }
    return 0;
}
