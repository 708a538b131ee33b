// Checks built plug-in DLLs as a loader and a packager see them.
//
//   pe-check plugin FILE...        each FILE is a self-contained plug-in DLL (exports, imports, flags)
//   pe-check identical A B         A and B are the same bytes
//   pe-check only-names-differ A B A and B differ in nothing but their export directory's library name
//
// Prints what it found; exits 1 when a check fails, 2 on a usage or read error.

#include "PeImage.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::vector<pe::Export> PluginExports = {{1, "SetTunerFrequency", 0}, {2, "TunerGetProperties", 0}};
const std::set<std::string> PluginImports = {"HID.DLL", "KERNEL32.DLL", "SETUPAPI.DLL"};

constexpr std::uint16_t MachineI386 = 0x14C;
constexpr std::uint16_t ImageDll = 0x2000;
constexpr std::uint16_t DynamicBase = 0x0040;
constexpr std::uint16_t NxCompat = 0x0100;

std::string BaseName(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

    std::printf("%s: %zu bytes\n  exports: %s\n  imports: %s\n", fileName.c_str(), image.Bytes().size(),
                Join(exportText, ", ").c_str(), Join(importText, "; ").c_str());
    return problems;
}

// A copy of the image's bytes with its export directory blanked out: the section that holds it,
// that section's size, the directory's size and the checksum over the whole file.
std::vector<std::uint8_t> WithoutExportDirectory(const pe::Image& image, std::vector<std::string>& problems)
{
    std::vector<std::uint8_t> bytes = image.Bytes();
    const pe::DataDirectory dir = image.Directory(pe::ExportDirectory);
    const pe::Section* section = image.SectionAt(dir.Rva);
    if (dir.Rva == 0 || section == nullptr || section->Name != ".edata") {
        problems.push_back("the export directory is not in a section of its own");
        return bytes;
    }
    auto blank = [&](std::uint32_t offset, std::uint32_t length) {
        std::fill(bytes.begin() + offset, bytes.begin() + offset + length, 0);
    };
    blank(image.CheckSumOffset(), 4);
    blank(image.DirectoryEntryOffset(pe::ExportDirectory) + 4, 4);
    blank(section->HeaderOffset + 8, 4);
    blank(section->RawOffset, section->RawSize);
    return bytes;
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
    if (WithoutExportDirectory(first, problems) != WithoutExportDirectory(second, problems)) {
        problems.push_back("code, data, imports or relocations differ");
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
    std::printf("%s and %s differ only in their library names (\"%s\", \"%s\")\n", BaseName(a).c_str(),
                BaseName(b).c_str(), first.ExportName().c_str(), second.ExportName().c_str());
    return 0;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: pe-check plugin FILE...\n"
                 "       pe-check identical A B\n"
                 "       pe-check only-names-differ A B\n");
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
    } catch (const pe::Error& error) {
        std::fprintf(stderr, "pe-check: %s\n", error.what());
        return 2;
    }
    return Usage();
}
