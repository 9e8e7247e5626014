#pragma once
// Test-side helpers: minimal ELF images that carry a version block in a named
// section, reading the RT_VERSION resource out of a .res file, and small
// byte edits of a version block.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace testfiles {

struct ElfSpec
{
    bool is64 = true;
    std::string sectionName = ".tagor_version";
    std::vector<uint8_t> contents;
    uint32_t sectionType = 1;       // SHT_PROGBITS
    bool extendedNumbering = false; // e_shnum 0, real count in section 0
};

// Where the fields that the malformed-file tests change lie in the image.
struct ElfLayout
{
    size_t shoffField = 0; // e_shoff in the header
    size_t shentsizeField = 0;
    size_t shnumField = 0;
    size_t shstrndxField = 0;
    uint64_t shoff = 0;
    size_t shentsize = 0;
    size_t versionHeader = 0;      // offset of the version section's header
    uint64_t versionOffset = 0;    // offset of its contents
    size_t sectionOffsetField = 0; // inside a section header
    size_t sectionSizeField = 0;
    size_t sectionNameField = 0;
    size_t sectionTypeField = 0;
};

// Sections: null, .text, the named section, .shstrtab (headers at the end).
std::vector<uint8_t> BuildElf(const ElfSpec &desc, ElfLayout *layout = nullptr);

void Put(std::vector<uint8_t> &b, size_t at, uint64_t value, int bytes);
uint16_t Get16(const std::vector<uint8_t> &b, size_t at);

// Offset of the node whose key is `key` (its wLength word), searched from `from`.
size_t FindNode(const std::vector<uint8_t> &block, const std::u16string &key, size_t from = 0);

// The data of the first resource of type RT_VERSION (16) in a .res image;
// empty when there is none or the file is malformed.
std::vector<uint8_t> VersionFromRes(const QByteArray &res);

std::vector<uint8_t> Bytes(const QByteArray &a);
QByteArray ToByteArray(const std::vector<uint8_t> &v);

// Writes bytes to a file; returns its path (inside dir).
QString WriteFile(const QString &dir, const QString &name, const std::vector<uint8_t> &bytes);

} // namespace testfiles
