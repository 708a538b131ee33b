// Checks built plug-in DLLs as a loader and a packager see them.
//
//   pe-check plugin FILE...        each FILE is a self-contained plug-in DLL (exports, imports, flags)
//   pe-check identical A B         A and B are the same bytes
//   pe-check only-names-differ A B A and B differ in nothing but their names: the export directory's
//                                  library name and the version resource's file names
//   pe-check version FILE KEY=VALUE...  FILE's version resource holds these strings
//
// Prints what it found; exits 1 when a check fails, 2 on a usage or read error.

#include "PeImage.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const std::vector<pe::Export> PluginExports = {{1, "SetTunerFrequency", 0}, {2, "TunerGetProperties", 0}};
const std::set<std::string> PluginImports = {"HID.DLL", "KERNEL32.DLL", "SETUPAPI.DLL"};

constexpr std::uint16_t MachineI386 = 0x14C;
constexpr std::uint32_t VersionResource = 16;
constexpr std::uint16_t ImageDll = 0x2000;
constexpr std::uint16_t DynamicBase = 0x0040;
constexpr std::uint16_t NxCompat = 0x0100;

std::string BaseName(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Value(const std::map<std::string, std::string>& map, const std::string& key)
{
    const auto found = map.find(key);
    return found == map.end() ? std::string() : found->second;
}

std::string Join(const std::vector<std::string>& items, const char* separator)
{
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : separator) + item;
    }
    return text;
}

// The entry point's code is `mov eax, 1; ret 12`: it accepts every notification and runs
// nothing else at load or unload.
bool EntryOnlyReturnsTrue(const pe::Image& image)
{
    static const std::uint8_t returnTrue[] = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC2, 0x0C, 0x00};
    const std::uint32_t at = image.Offset(image.EntryPoint());
    const std::vector<std::uint8_t>& bytes = image.Bytes();
    return bytes.size() - at >= sizeof returnTrue && std::equal(returnTrue, returnTrue + sizeof returnTrue, bytes.begin() + at);
}

// The problems of one plug-in DLL; also prints its size, exports and imports.
std::vector<std::string> CheckPlugin(const std::string& path)
{
    const pe::Image image = pe::Image::Load(path);
    std::vector<std::string> problems;
    const std::string fileName = BaseName(path);

    if (image.Machine() != MachineI386 || !(image.Characteristics() & ImageDll)) {
        problems.push_back("not a 32-bit x86 DLL");
    }

    std::vector<std::string> exportText;
    bool exportsRight = image.Exports().size() == PluginExports.size();
    for (const pe::Export& e : image.Exports()) {
        exportText.push_back("@" + std::to_string(e.Ordinal) + " " + (e.Name.empty() ? "(no name)" : e.Name));
        const bool expected = std::any_of(PluginExports.begin(), PluginExports.end(), [&](const pe::Export& want) {
            return want.Ordinal == e.Ordinal && want.Name == e.Name;
        });
        exportsRight = exportsRight && expected;
    }
    if (!exportsRight) {
        problems.push_back("exports are not exactly @1 SetTunerFrequency and @2 TunerGetProperties: " +
                           Join(exportText, ", "));
    }
    if (image.ExportName() != fileName) {
        problems.push_back("export directory names the library \"" + image.ExportName() + "\", not " + fileName);
    }

    std::vector<std::string> importText;
    std::set<std::string> libraries;
    for (const auto& import : image.Imports()) {
        libraries.insert(import.first);
        importText.push_back(import.first + " (" + Join(import.second, ", ") + ")");
    }
    if (libraries != PluginImports) {
        problems.push_back("imports other than HID.DLL, KERNEL32.DLL and SETUPAPI.DLL: " + Join(importText, "; "));
    }

    if (!(image.DllCharacteristics() & DynamicBase)) {
        problems.push_back("address-space randomisation (DYNAMIC_BASE) not enabled");
    }
    if (!(image.DllCharacteristics() & NxCompat)) {
        problems.push_back("no-execute data (NX_COMPAT) not enabled");
    }
    if (image.Directory(pe::RelocationDirectory).Size == 0) {
        problems.push_back("no base relocations: the DLL cannot be moved");
    }
    if (image.Directory(pe::TlsDirectory).Size != 0) {
        problems.push_back("has a thread-local storage directory: code may run at load");
    }
    if (image.EntryPoint() == 0) {
        problems.push_back("no entry point");
    } else if (!EntryOnlyReturnsTrue(image)) {
        problems.push_back("the entry point does more than return TRUE");
    }
    for (const pe::Section& section : image.Sections()) {
        if (section.Name == ".CRT" || section.Name == ".ctors" || section.Name == ".tls") {
            problems.push_back("has a " + section.Name + " section: code may run at load");
        }
    }
    if (image.TimeDateStamp() != 0) {
        problems.push_back("carries a time stamp: builds are not reproducible");
    }

    const std::map<std::string, std::string> version = image.VersionInfo();
    if (image.ResourceTypes() != std::vector<std::uint32_t>{VersionResource}) {
        problems.push_back("resources other than one version resource");
    }
    for (const char* name : {"OriginalFilename", "InternalName"}) {
        if (Value(version, name) != fileName) {
            problems.push_back(std::string("version resource's ") + name + " is \"" + Value(version, name) +
                               "\", not " + fileName);
        }
    }
    for (const char* text : {"FileDescription", "ProductName"}) {
        if (Value(version, text).empty()) {
            problems.push_back(std::string("version resource has no ") + text);
        }
    }
    const std::string fixed = Value(version, "(fixed file version)");
    if (fixed.empty() || Value(version, "FileVersion") != fixed || Value(version, "ProductVersion") != fixed ||
        Value(version, "(fixed product version)") != fixed) {
        problems.push_back("file and product versions disagree: " + Value(version, "FileVersion") + ", " +
                           Value(version, "ProductVersion") + ", fixed " + fixed);
    }

    std::printf("%s: %zu bytes\n  exports: %s\n  imports: %s\n  version: %s \"%s\", \"%s\"\n", fileName.c_str(),
                image.Bytes().size(), Join(exportText, ", ").c_str(), Join(importText, "; ").c_str(),
                Value(version, "FileVersion").c_str(), Value(version, "ProductName").c_str(),
                Value(version, "FileDescription").c_str());
    return problems;
}

// A copy of the image's bytes with the places that hold its names blanked out: the sections of
// the export directory and of the resources, their sizes, and the checksum over the whole file.
// What those sections say is compared separately.
std::vector<std::uint8_t> WithoutNames(const pe::Image& image, std::vector<std::string>& problems)
{
    std::vector<std::uint8_t> bytes = image.Bytes();
    auto blank = [&](std::uint32_t offset, std::uint32_t length) {
        std::fill(bytes.begin() + offset, bytes.begin() + offset + length, 0);
    };
    blank(image.CheckSumOffset(), 4);
    const struct {
        int Directory;
        const char* Section;
    } named[] = {{pe::ExportDirectory, ".edata"}, {pe::ResourceDirectory, ".rsrc"}};
    for (const auto& n : named) {
        const pe::DataDirectory dir = image.Directory(n.Directory);
        const pe::Section* section = image.SectionAt(dir.Rva);
        if (dir.Rva == 0 || section == nullptr || section->Name != n.Section) {
            problems.push_back(std::string("no ") + n.Section + " section of its own");
            continue;
        }
        blank(image.DirectoryEntryOffset(n.Directory) + 4, 4);
        blank(section->HeaderOffset + 8, 4);
        blank(section->RawOffset, section->RawSize);
    }
    return bytes;
}

// The version resource without the two strings that name the file.
std::map<std::string, std::string> VersionWithoutNames(const pe::Image& image)
{
    std::map<std::string, std::string> version = image.VersionInfo();
    version.erase("OriginalFilename");
    version.erase("InternalName");
    return version;
}

int Identical(const std::string& a, const std::string& b)
{
    const pe::Image first = pe::Image::Load(a);
    const pe::Image second = pe::Image::Load(b);
    if (first.Bytes() != second.Bytes()) {
        std::printf("FAIL: %s and %s differ\n", a.c_str(), b.c_str());
        return 1;
    }
    std::printf("%s and %s are identical (%zu bytes)\n", a.c_str(), b.c_str(), first.Bytes().size());
    return 0;
}

int OnlyNamesDiffer(const std::string& a, const std::string& b)
{
    const pe::Image first = pe::Image::Load(a);
    const pe::Image second = pe::Image::Load(b);
    std::vector<std::string> problems;
    if (WithoutNames(first, problems) != WithoutNames(second, problems)) {
        problems.push_back("code, data, imports or relocations differ");
    }
    if (VersionWithoutNames(first) != VersionWithoutNames(second) || first.ResourceTypes() != second.ResourceTypes()) {
        problems.push_back("their resources differ in more than the file names");
    }
    auto exportsOf = [](const pe::Image& image) {
        std::vector<std::string> text;
        for (const pe::Export& e : image.Exports()) {
            text.push_back(std::to_string(e.Ordinal) + " " + e.Name + " " + std::to_string(e.Rva));
        }
        return text;
    };
    if (exportsOf(first) != exportsOf(second)) {
        problems.push_back("their exports differ");
    }
    for (const std::string& p : problems) {
        std::printf("FAIL: %s / %s: %s\n", a.c_str(), b.c_str(), p.c_str());
    }
    if (!problems.empty()) {
        return 1;
    }
    std::printf("%s and %s differ only in their names (\"%s\", \"%s\" in the export directory and version)\n",
                BaseName(a).c_str(), BaseName(b).c_str(), first.ExportName().c_str(), second.ExportName().c_str());
    return 0;
}

int Version(const std::string& path, const std::vector<std::string>& expected)
{
    const std::map<std::string, std::string> version = pe::Image::Load(path).VersionInfo();
    int failed = 0;
    for (const std::string& pair : expected) {
        const std::string::size_type equals = pair.find('=');
        const std::string key = pair.substr(0, equals);
        const std::string want = equals == std::string::npos ? std::string() : pair.substr(equals + 1);
        if (Value(version, key) != want) {
            std::printf("FAIL: %s: %s is \"%s\", expected \"%s\"\n", BaseName(path).c_str(), key.c_str(),
                        Value(version, key).c_str(), want.c_str());
            failed = 1;
        } else {
            std::printf("%s: %s = \"%s\"\n", BaseName(path).c_str(), key.c_str(), want.c_str());
        }
    }
    return failed;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: pe-check plugin FILE...\n"
                 "       pe-check identical A B\n"
                 "       pe-check only-names-differ A B\n"
                 "       pe-check version FILE KEY=VALUE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage();
    }
    try {
        if (args[0] == "plugin" && args.size() >= 2) {
            int failed = 0;
            for (std::size_t i = 1; i < args.size(); ++i) {
                for (const std::string& problem : CheckPlugin(args[i])) {
                    std::printf("FAIL: %s: %s\n", BaseName(args[i]).c_str(), problem.c_str());
                    failed = 1;
                }
            }
            return failed;
        }
        if (args[0] == "identical" && args.size() == 3) {
            return Identical(args[1], args[2]);
        }
        if (args[0] == "only-names-differ" && args.size() == 3) {
            return OnlyNamesDiffer(args[1], args[2]);
        }
        if (args[0] == "version" && args.size() >= 3) {
            return Version(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
        }
    } catch (const pe::Error& error) {
        std::fprintf(stderr, "pe-check: %s\n", error.what());
        return 2;
    }
    return Usage();
}
