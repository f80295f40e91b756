// linestra-pipl: writes the effect's plug-in property list at build time.
//
//   linestra-pipl [--target windows|macos] [--output FILE] [--rc FILE] [--rsrc FILE]
//
// --output writes the binary property list of the target platform (the
// Windows resource's data, or the macOS resource's data); --rc also writes a
// Windows resource script that binds the written file as resource PIPL 16000.
// --rsrc writes the macOS bundle's resource file (the macOS form as resource
// 'PIPL' 16000 in a data-fork resource file), whatever the target.
#include "tools/pipl/Pipl.h"
#include "tools/pipl/ResourceFile.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

namespace {

int usage(const char* message)
{
    std::fprintf(stderr, "linestra-pipl: %s\nusage: linestra-pipl [--target windows|macos] [--output FILE] [--rc FILE] [--rsrc FILE]\n",
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
    std::string macResourceFile;
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
        } else if (arg == "--rsrc") {
            macResourceFile = value;
        } else {
            return usage(("unknown option " + arg).c_str());
        }
    }
    if (output.empty() && macResourceFile.empty()) return usage("--output or --rsrc is required");
    if (!resourceScript.empty() && output.empty()) return usage("--rc names the file of --output, which is missing");

    try {
        const std::vector<std::uint8_t> pipl = effectPipl(target);
        if (!output.empty() && !writeFile(output, reinterpret_cast<const char*>(pipl.data()), pipl.size())) {
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
        if (!macResourceFile.empty()) {
            const std::vector<std::uint8_t> rsrc = effectMacResourceFile();
            if (!writeFile(macResourceFile, reinterpret_cast<const char*>(rsrc.data()), rsrc.size())) {
                std::fprintf(stderr, "linestra-pipl: cannot write %s\n", macResourceFile.c_str());
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "linestra-pipl: %s\n", e.what());
        return 1;
    }
    return 0;
}
