#pragma once
// Builder of a version block (VS_VERSIONINFO) in the Windows binary layout:
// every node is wLength, wValueLength, wType (16-bit little-endian words), a
// UTF-16LE key with its NUL, padding to 32 bits, the value, padding to 32 bits
// and the children. The build-time generator and the tests both use it.
// Plain standard C++, no Qt.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace verblock {

struct VersionDesc
{
    uint16_t fileVersion[4] = {0, 0, 0, 0}; // most significant part first
    uint16_t productVersion[4] = {0, 0, 0, 0};
    uint32_t fileFlagsMask = 0x3F;
    uint32_t fileFlags = 0;
    uint32_t fileOS = 0x00040004;   // VOS_NT_WINDOWS32
    uint32_t fileType = 0x00000001; // VFT_APP
    uint32_t fileSubtype = 0;
    bool withFixedInfo = true;

    bool withStringFileInfo = true;
    std::u16string tableName = u"040904E4";
    std::vector<std::pair<std::u16string, std::u16string>> strings; // key, value (NUL added)

    bool withVarFileInfo = true;
    std::vector<uint32_t> translations = {0x04E40409}; // language low 16 bits, code page high
};

// The whole block; the root wLength equals the returned size.
std::vector<uint8_t> BuildVersionBlock(const VersionDesc &desc);

// One node in the block layout, for tests that assemble odd blocks by hand.
// textValue: value counted in 16-bit characters (wType 1), else in bytes (wType 0).
std::vector<uint8_t> BuildNode(const std::u16string &key, const std::vector<uint8_t> &value,
                               bool textValue, uint16_t valueLength,
                               const std::vector<std::vector<uint8_t>> &children);

std::vector<uint8_t> Utf16Bytes(const std::u16string &s, bool withNul);
std::u16string Utf8ToUtf16(const std::string &s);
std::string Utf16ToUtf8(const std::u16string &s);

} // namespace verblock
