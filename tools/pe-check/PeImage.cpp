#include "PeImage.h"

#include <fstream>
#include <iterator>

namespace pe {

Image::Image(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes))
{
    if (U16(0) != 0x5A4D) {
        throw Error("not an MZ executable");
    }
    const std::uint32_t header = U32(0x3C);
    if (U32(header) != 0x00004550) {
        throw Error("no PE signature");
    }
    coff_ = header + 4;
    optional_ = coff_ + 20;
    if (Magic() != 0x10B) {
        throw Error("not a 32-bit (PE32) image");
    }
    const std::uint16_t count = U16(coff_ + 2);
    std::uint32_t at = optional_ + U16(coff_ + 16);
    for (std::uint16_t i = 0; i < count; ++i, at += 40) {
        Section s;
        U32(at + 36);  // the whole header must lie inside the file
        s.Name.assign(reinterpret_cast<const char*>(&bytes_[at]), 8);
        s.Name = s.Name.c_str();
        s.VirtualSize = U32(at + 8);
        s.VirtualAddress = U32(at + 12);
        s.RawSize = U32(at + 16);
        s.RawOffset = U32(at + 20);
        s.HeaderOffset = at;
        sections_.push_back(s);
    }
}

Image Image::Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw Error("cannot open " + path);
    }
    return Image(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

std::uint16_t Image::U16(std::uint32_t offset) const
{
    if (offset > bytes_.size() || bytes_.size() - offset < 2) {
        throw Error("read past the end of the file");
    }
    return static_cast<std::uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

std::uint32_t Image::U32(std::uint32_t offset) const
{
    return U16(offset) | static_cast<std::uint32_t>(U16(offset + 2)) << 16;
}

std::string Image::CString(std::uint32_t offset) const
{
    std::string text;
    for (;; ++offset) {
        if (offset >= bytes_.size()) {
            throw Error("unterminated string");
        }
        if (bytes_[offset] == 0) {
            return text;
        }
        text += static_cast<char>(bytes_[offset]);
    }
}

DataDirectory Image::Directory(int index) const
{
    if (index < 0 || static_cast<std::uint32_t>(index) >= U32(optional_ + 92)) {
        return {};
    }
    return {U32(DirectoryEntryOffset(index)), U32(DirectoryEntryOffset(index) + 4)};
}

const Section* Image::SectionAt(std::uint32_t rva) const
{
    for (const Section& s : sections_) {
        const std::uint32_t extent = s.VirtualSize > s.RawSize ? s.VirtualSize : s.RawSize;
        if (rva >= s.VirtualAddress && rva - s.VirtualAddress < extent) {
            return &s;
        }
    }
    return nullptr;
}

std::uint32_t Image::Offset(std::uint32_t rva) const
{
    const Section* s = SectionAt(rva);
    if (s == nullptr || rva - s->VirtualAddress >= s->RawSize) {
        throw Error("address not backed by the file");
    }
    return s->RawOffset + (rva - s->VirtualAddress);
}

std::string Image::ExportName() const
{
    const DataDirectory dir = Directory(ExportDirectory);
    if (dir.Rva == 0) {
        return {};
    }
    return CString(Offset(U32(Offset(dir.Rva) + 12)));
}

std::vector<Export> Image::Exports() const
{
    std::vector<Export> exports;
    const DataDirectory dir = Directory(ExportDirectory);
    if (dir.Rva == 0) {
        return exports;
    }
    const std::uint32_t at = Offset(dir.Rva);
    const std::uint32_t base = U32(at + 16);
    const std::uint32_t functions = U32(at + 20);
    const std::uint32_t names = U32(at + 24);
    if (functions > 0x10000 || names > functions) {
        throw Error("implausible export table");
    }
    for (std::uint32_t i = 0; i < functions; ++i) {
        const std::uint32_t rva = U32(Offset(U32(at + 28)) + 4 * i);
        if (rva != 0) {
            exports.push_back({base + i, {}, rva});
        }
    }
    for (std::uint32_t i = 0; i < names; ++i) {
        const std::string name = CString(Offset(U32(Offset(U32(at + 32)) + 4 * i)));
        const std::uint32_t ordinal = base + U16(Offset(U32(at + 36)) + 2 * i);
        for (Export& e : exports) {
            if (e.Ordinal == ordinal) {
                e.Name = name;
            }
        }
    }
    return exports;
}

std::map<std::string, std::vector<std::string>> Image::Imports() const
{
    std::map<std::string, std::vector<std::string>> imports;
    const DataDirectory dir = Directory(ImportDirectory);
    if (dir.Rva == 0) {
        return imports;
    }
    for (std::uint32_t at = Offset(dir.Rva);; at += 20) {
        const std::uint32_t nameRva = U32(at + 12);
        if (nameRva == 0) {
            break;
        }
        std::string library = CString(Offset(nameRva));
        for (char& c : library) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        std::vector<std::string>& functions = imports[library];
        const std::uint32_t thunks = U32(at) != 0 ? U32(at) : U32(at + 16);
        for (std::uint32_t t = Offset(thunks);; t += 4) {
            const std::uint32_t thunk = U32(t);
            if (thunk == 0) {
                break;
            }
            functions.push_back((thunk & 0x80000000u) ? "#" + std::to_string(thunk & 0xFFFF)
                                                       : CString(Offset(thunk) + 2));
        }
    }
    return imports;
}

std::vector<std::uint32_t> Image::ResourceTypes() const
{
    std::vector<std::uint32_t> types;
    const DataDirectory dir = Directory(ResourceDirectory);
    if (dir.Rva == 0) {
        return types;
    }
    const std::uint32_t root = Offset(dir.Rva);
    const std::uint32_t entries = static_cast<std::uint32_t>(U16(root + 12)) + U16(root + 14);
    for (std::uint32_t i = 0; i < entries; ++i) {
        types.push_back(U32(root + 16 + 8 * i));
    }
    return types;
}

namespace {

std::string Narrow(const Image& image, std::uint32_t at, std::uint32_t end, std::uint32_t& next)
{
    std::string text;
    for (; at + 2 <= end; at += 2) {
        const std::uint16_t c = image.U16(at);
        if (c == 0) {
            next = at + 2;
            return text;
        }
        text += c < 0x80 ? static_cast<char>(c) : '?';
    }
    throw Error("unterminated text in the version resource");
}

std::uint32_t Align4(std::uint32_t offset, std::uint32_t base)
{
    return base + ((offset - base + 3) & ~3u);
}

std::string Quad(std::uint32_t high, std::uint32_t low)
{
    return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." + std::to_string(low >> 16) + "." +
           std::to_string(low & 0xFFFF);
}

// One node of the version resource and its children: wLength, wValueLength, wType, key, value.
void ReadVersionNode(const Image& image, std::uint32_t at, std::uint32_t base, int depth,
                     std::map<std::string, std::string>& info)
{
    if (depth > 4) {
        throw Error("version resource nested too deeply");
    }
    const std::uint32_t length = image.U16(at);
    const std::uint32_t valueLength = image.U16(at + 2);
    const std::uint16_t type = image.U16(at + 4);
    const std::uint32_t end = at + length;
    if (length < 6) {
        throw Error("malformed version resource");
    }
    std::uint32_t next = 0;
    const std::string key = Narrow(image, at + 6, end, next);
    std::uint32_t value = Align4(next, base);
    if (depth == 0) {
        if (valueLength < 52 || image.U32(value) != 0xFEEF04BDu) {
            throw Error("version resource without its fixed part");
        }
        info["(fixed file version)"] = Quad(image.U32(value + 8), image.U32(value + 12));
        info["(fixed product version)"] = Quad(image.U32(value + 16), image.U32(value + 20));
    } else if (depth == 3 && type == 1) {
        std::uint32_t ignored = 0;
        info[key] = valueLength == 0 ? std::string() : Narrow(image, value, end, ignored);
        return;
    }
    std::uint32_t child = Align4(value + (type == 1 ? 2 * valueLength : valueLength), base);
    while (child + 6 <= end) {
        const std::uint32_t childLength = image.U16(child);
        if (childLength == 0) {
            break;
        }
        if (depth < 3) {
            ReadVersionNode(image, child, base, depth + 1, info);
        }
        child = Align4(child + childLength, base);
    }
}

}  // namespace

std::map<std::string, std::string> Image::VersionInfo() const
{
    std::map<std::string, std::string> info;
    const DataDirectory dir = Directory(ResourceDirectory);
    if (dir.Rva == 0) {
        return info;
    }
    const std::uint32_t sectionStart = Offset(dir.Rva);
    // Root -> type 16 (version) -> its first name -> its first language -> data entry.
    std::uint32_t node = sectionStart;
    std::uint32_t wanted = 16;
    for (int level = 0; level < 3; ++level) {
        const std::uint32_t entries = static_cast<std::uint32_t>(U16(node + 12)) + U16(node + 14);
        std::uint32_t found = 0;
        for (std::uint32_t i = 0; i < entries && found == 0; ++i) {
            if (level > 0 || U32(node + 16 + 8 * i) == wanted) {
                found = U32(node + 20 + 8 * i);
            }
        }
        if (found == 0) {
            return info;
        }
        node = sectionStart + (found & 0x7FFFFFFFu);
        if (level < 2 && !(found & 0x80000000u)) {
            throw Error("malformed resource directory");
        }
    }
    const std::uint32_t data = Offset(U32(node));
    ReadVersionNode(*this, data, data, 0, info);
    return info;
}

}  // namespace pe
