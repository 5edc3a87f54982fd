// Hand-made ELF files for the version reader, in either class: a null
// section, the payload under the name asked for, and the name table.
#pragma once
#include <cstdint>
#include <string>

namespace testelf {

enum Section { kNull, kPayload, kNames, kSections };
enum HeaderField { kTableOffset, kEntrySize, kCount, kNamesIndex };
enum SectionField { kName, kType, kOffset, kSize, kLink };

struct CElfImage {
    CElfImage(bool isWide, const std::string& name, const std::string& payload) : wide(isWide)
    {
        const std::string names = std::string(1, '\0') + name + '\0' + ".shstrtab" + '\0';
        bytes = std::string("\x7f" "ELF") + char(wide ? 2 : 1) + "\1\1";
        bytes.resize(wide ? 64 : 52);
        const size_t payloadAt = bytes.size();
        bytes += payload + names;
        bytes.resize((bytes.size() + 7) / 8 * 8);
        table = bytes.size();
        bytes.resize(table + kSections * EntrySize());
        const uint64_t payloadFields[] = {1, 1, payloadAt, payload.size()};
        const uint64_t nameFields[] = {name.size() + 2, 3, payloadAt + payload.size(), names.size()};
        for (int field = kName; field < kLink; ++field) {
            SetSection(kPayload, SectionField(field), payloadFields[field]);
            SetSection(kNames, SectionField(field), nameFields[field]);
        }
        const uint64_t headerFields[] = {table, EntrySize(), kSections, kNames};
        for (int field = kTableOffset; field <= kNamesIndex; ++field)
            SetHeader(HeaderField(field), headerFields[field]);
    }

    size_t EntrySize() const { return wide ? 64 : 40; }
    void SetHeader(HeaderField field, uint64_t value)
    {
        static const size_t at[2][4] = {{32, 46, 48, 50}, {40, 58, 60, 62}};
        Put(at[wide][field], value, field == kTableOffset ? Word() : 2);
    }
    void SetSection(int section, SectionField field, uint64_t value)
    {
        static const size_t at[2][5] = {{0, 4, 16, 20, 24}, {0, 4, 24, 32, 40}};
        const bool addressWide = field == kOffset || field == kSize;
        Put(table + section * EntrySize() + at[wide][field], value, addressWide ? Word() : 4);
    }

    bool wide;
    std::string bytes;
    size_t table = 0;

private:
    size_t Word() const { return wide ? 8 : 4; }
    void Put(size_t at, uint64_t value, size_t width)
    {
        for (size_t i = 0; i < width; ++i)
            bytes.at(at + i) = static_cast<char>(value >> (8 * i));
    }
};

// A VS_VERSIONINFO block holding only the fixed file information.
inline std::string VersionBlock(uint32_t versionMS, uint32_t versionLS, uint32_t fileType)
{
    std::string block;
    const auto append = [&block](uint32_t value, size_t width) {
        for (size_t i = 0; i < width; ++i)
            block.push_back(static_cast<char>(value >> (8 * i)));
    };
    for (uint32_t field : {92u, 52u, 0u})
        append(field, 2);
    for (char c : std::string("VS_VERSION_INFO") + '\0' + '\0')
        append(static_cast<unsigned char>(c), 2);
    for (uint32_t field : {0xFEEF04BDu, 0x00010000u, versionMS, versionLS, versionMS, versionLS,
                           0x3Fu, 0u, 0x40004u, fileType, 0u, 0u, 0u})
        append(field, 4);
    return block;
}

}  // namespace testelf
