#include "verblock.h"

namespace verblock {

namespace {

void Put16(std::vector<uint8_t> &b, size_t at, uint16_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void Append32(std::vector<uint8_t> &b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

void Align4(std::vector<uint8_t> &b)
{
    while (b.size() % 4)
        b.push_back(0);
}

} // namespace

std::vector<uint8_t> Utf16Bytes(const std::u16string &s, bool withNul)
{
    std::vector<uint8_t> out;
    out.reserve((s.size() + 1) * 2);
    for (char16_t c : s) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    if (withNul) {
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> BuildNode(const std::u16string &key, const std::vector<uint8_t> &value,
                               bool textValue, uint16_t valueLength,
                               const std::vector<std::vector<uint8_t>> &children)
{
    std::vector<uint8_t> b(6, 0);
    const std::vector<uint8_t> k = Utf16Bytes(key, true);
    b.insert(b.end(), k.begin(), k.end());
    if (!value.empty()) {
        Align4(b);
        b.insert(b.end(), value.begin(), value.end());
    }
    for (const auto &child : children) {
        Align4(b);
        b.insert(b.end(), child.begin(), child.end());
    }
    // The length covers the node up to the end of its last part, without
    // trailing padding; the parent pads before the next sibling.
    Put16(b, 0, uint16_t(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, textValue ? 1 : 0);
    return b;
}

std::vector<uint8_t> BuildVersionBlock(const VersionDesc &desc)
{
    std::vector<uint8_t> fixed;
    uint16_t fixedLength = 0;
    if (desc.withFixedInfo) {
        auto ms = [](const uint16_t v[4]) { return (uint32_t(v[0]) << 16) | v[1]; };
        auto ls = [](const uint16_t v[4]) { return (uint32_t(v[2]) << 16) | v[3]; };
        Append32(fixed, 0xFEEF04BD); // signature
        Append32(fixed, 0x00010000); // structure version 1.0
        Append32(fixed, ms(desc.fileVersion));
        Append32(fixed, ls(desc.fileVersion));
        Append32(fixed, ms(desc.productVersion));
        Append32(fixed, ls(desc.productVersion));
        Append32(fixed, desc.fileFlagsMask);
        Append32(fixed, desc.fileFlags);
        Append32(fixed, desc.fileOS);
        Append32(fixed, desc.fileType);
        Append32(fixed, desc.fileSubtype);
        Append32(fixed, 0); // file date, high
        Append32(fixed, 0); // file date, low
        fixedLength = uint16_t(fixed.size());
    }

    std::vector<std::vector<uint8_t>> sections;
    if (desc.withStringFileInfo) {
        std::vector<std::vector<uint8_t>> strings;
        for (const auto &[key, value] : desc.strings)
            strings.push_back(
                BuildNode(key, Utf16Bytes(value, true), true, uint16_t(value.size() + 1), {}));
        const auto table = BuildNode(desc.tableName, {}, true, 0, strings);
        sections.push_back(BuildNode(u"StringFileInfo", {}, true, 0, {table}));
    }
    if (desc.withVarFileInfo) {
        std::vector<uint8_t> list;
        for (uint32_t t : desc.translations) {
            // Each entry is two words: language, then code page.
            list.push_back(uint8_t(t));
            list.push_back(uint8_t(t >> 8));
            list.push_back(uint8_t(t >> 16));
            list.push_back(uint8_t(t >> 24));
        }
        const auto var = BuildNode(u"Translation", list, false, uint16_t(list.size()), {});
        sections.push_back(BuildNode(u"VarFileInfo", {}, true, 0, {var}));
    }
    return BuildNode(u"VS_VERSION_INFO", fixed, false, fixedLength, sections);
}

std::u16string Utf8ToUtf16(const std::string &s)
{
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = 0xFFFD;
        size_t n = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            n = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 4;
            cp = c & 0x07;
        } else {
            n = 0;
        }
        bool ok = n > 0 && i + n <= s.size();
        for (size_t k = 1; ok && k < n; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += n;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else if (cp < 0x10000) {
            out.push_back(char16_t(cp));
        } else {
            out.push_back(u'\uFFFD');
        }
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace verblock
