// A small reader of 32-bit PE images: headers, sections, exports and imports, every read
// bounds-checked. Enough to check what a plug-in DLL exports, imports and declares of itself.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace pe {

struct Section {
    std::string Name;
    std::uint32_t VirtualSize = 0;
    std::uint32_t VirtualAddress = 0;
    std::uint32_t RawSize = 0;
    std::uint32_t RawOffset = 0;
    std::uint32_t HeaderOffset = 0;  // where its 40-byte header sits in the file
};

struct Export {
    std::uint32_t Ordinal = 0;
    std::string Name;  // empty when exported by ordinal only
    std::uint32_t Rva = 0;
};

struct DataDirectory {
    std::uint32_t Rva = 0;
    std::uint32_t Size = 0;
};

enum Directory { ExportDirectory = 0, ImportDirectory = 1, ResourceDirectory = 2, RelocationDirectory = 5,
                 TlsDirectory = 9 };

class Image {
public:
    explicit Image(std::vector<std::uint8_t> bytes);
    static Image Load(const std::string& path);

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::uint16_t Machine() const { return U16(coff_); }
    std::uint32_t TimeDateStamp() const { return U32(coff_ + 4); }
    std::uint16_t Characteristics() const { return U16(coff_ + 18); }
    std::uint16_t Magic() const { return U16(optional_); }
    std::uint32_t EntryPoint() const { return U32(optional_ + 16); }
    std::uint32_t ImageBase() const { return U32(optional_ + 28); }
    std::uint32_t CheckSumOffset() const { return optional_ + 64; }
    std::uint16_t DllCharacteristics() const { return U16(optional_ + 70); }
    DataDirectory Directory(int index) const;
    std::uint32_t DirectoryEntryOffset(int index) const { return optional_ + 96 + 8 * static_cast<std::uint32_t>(index); }
    const std::vector<Section>& Sections() const { return sections_; }
    const Section* SectionAt(std::uint32_t rva) const;

    std::string ExportName() const;  // the library name in the export directory
    std::vector<Export> Exports() const;
    std::map<std::string, std::vector<std::string>> Imports() const;  // library -> functions
    std::vector<std::uint32_t> ResourceTypes() const;                 // the types at the root
    // The version resource's strings, plus "(fixed file version)" and "(fixed product version)"
    // from its fixed part as "a.b.c.d"; empty when there is none.
    std::map<std::string, std::string> VersionInfo() const;

    std::uint32_t Offset(std::uint32_t rva) const;  // file offset of an address; throws if unmapped
    std::uint16_t U16(std::uint32_t offset) const;
    std::uint32_t U32(std::uint32_t offset) const;
    std::string CString(std::uint32_t offset) const;

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t coff_ = 0;
    std::uint32_t optional_ = 0;
    std::vector<Section> sections_;
};

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace pe
