#include "testfiles.h"

#include "about/verblock.h"

#include <QFile>

namespace testfiles {

void Put(std::vector<uint8_t> &b, size_t at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.at(at + size_t(i)) = uint8_t(value >> (8 * i));
}

uint16_t Get16(const std::vector<uint8_t> &b, size_t at)
{
    return uint16_t(b.at(at) | (b.at(at + 1) << 8));
}

static void Pad(std::vector<uint8_t> &b, size_t align)
{
    while (b.size() % align)
        b.push_back(0);
}

std::vector<uint8_t> BuildElf(const ElfSpec &desc, ElfLayout *layout)
{
    const bool w = desc.is64;
    const size_t ehsize = w ? 64 : 52, shentsize = w ? 64 : 40;
    std::vector<uint8_t> b(ehsize, 0);
    b[0] = 0x7F;
    b[1] = 'E';
    b[2] = 'L';
    b[3] = 'F';
    b[4] = w ? 2 : 1;          // class
    b[5] = 1;                  // little-endian
    b[6] = 1;                  // version
    Put(b, 16, 2, 2);          // ET_EXEC
    Put(b, 18, w ? 62 : 3, 2); // x86-64 / i386
    Put(b, 20, 1, 4);
    Put(b, w ? 0x34 : 0x28, ehsize, 2); // e_ehsize

    // .shstrtab: "\0.text\0<name>\0.shstrtab\0"
    std::string strtab(1, '\0');
    const uint32_t textName = uint32_t(strtab.size());
    strtab += ".text";
    strtab.push_back('\0');
    const uint32_t verName = uint32_t(strtab.size());
    strtab += desc.sectionName;
    strtab.push_back('\0');
    const uint32_t strName = uint32_t(strtab.size());
    strtab += ".shstrtab";
    strtab.push_back('\0');

    const uint64_t textOff = b.size();
    b.push_back(0xC3); // ret
    Pad(b, 4);
    const uint64_t verOff = b.size();
    b.insert(b.end(), desc.contents.begin(), desc.contents.end());
    const uint64_t strOff = b.size();
    b.insert(b.end(), strtab.begin(), strtab.end());
    Pad(b, 8);
    const uint64_t shoff = b.size();

    struct Sh
    {
        uint32_t name, type;
        uint64_t off, size;
        uint32_t link;
    };
    const Sh shs[4] = {
        {0, 0, 0, desc.extendedNumbering ? 4u : 0u, desc.extendedNumbering ? 3u : 0u},
        {textName, 1, textOff, 1, 0},
        {verName, desc.sectionType, verOff, desc.contents.size(), 0},
        {strName, 3, strOff, strtab.size(), 0},
    };
    for (const Sh &sh : shs) {
        const size_t at = b.size();
        b.resize(b.size() + shentsize, 0);
        Put(b, at, sh.name, 4);
        Put(b, at + 4, sh.type, 4);
        Put(b, at + (w ? 0x18 : 0x10), sh.off, w ? 8 : 4);
        Put(b, at + (w ? 0x20 : 0x14), sh.size, w ? 8 : 4);
        Put(b, at + (w ? 0x28 : 0x18), sh.link, 4);
    }

    ElfLayout l;
    l.shoffField = w ? 0x28 : 0x20;
    l.shentsizeField = w ? 0x3A : 0x2E;
    l.shnumField = w ? 0x3C : 0x30;
    l.shstrndxField = w ? 0x3E : 0x32;
    l.shoff = shoff;
    l.shentsize = shentsize;
    l.versionHeader = size_t(shoff) + 2 * shentsize;
    l.versionOffset = verOff;
    l.sectionOffsetField = w ? 0x18 : 0x10;
    l.sectionSizeField = w ? 0x20 : 0x14;
    l.sectionNameField = 0;
    l.sectionTypeField = 4;

    Put(b, l.shoffField, shoff, w ? 8 : 4);
    Put(b, l.shentsizeField, shentsize, 2);
    Put(b, l.shnumField, desc.extendedNumbering ? 0 : 4, 2);
    Put(b, l.shstrndxField, desc.extendedNumbering ? 0xFFFF : 3, 2);
    if (layout)
        *layout = l;
    return b;
}

size_t FindNode(const std::vector<uint8_t> &block, const std::u16string &key, size_t from)
{
    const std::vector<uint8_t> k = verblock::Utf16Bytes(key, true);
    for (size_t i = from + 6; i + k.size() <= block.size(); i += 2)
        if (std::equal(k.begin(), k.end(), block.begin() + ptrdiff_t(i)))
            return i - 6;
    return size_t(-1);
}

std::vector<uint8_t> VersionFromRes(const QByteArray &res)
{
    const auto *d = reinterpret_cast<const uint8_t *>(res.constData());
    const size_t size = size_t(res.size());
    auto rd32 = [&](size_t at) {
        return uint32_t(d[at]) | (uint32_t(d[at + 1]) << 8) | (uint32_t(d[at + 2]) << 16) |
               (uint32_t(d[at + 3]) << 24);
    };
    // Each resource: DataSize, HeaderSize, TYPE, NAME (ordinals 0xFFFF nnnn or
    // NUL-terminated UTF-16), DWORD padding, DataVersion, MemoryFlags,
    // LanguageId, Version, Characteristics; then the data, padded to a DWORD.
    size_t pos = 0;
    while (pos + 16 <= size) {
        const uint32_t dataSize = rd32(pos), headerSize = rd32(pos + 4);
        if (headerSize < 16 || headerSize > size - pos || dataSize > size - pos - headerSize)
            return {};
        const bool ordinalType = d[pos + 8] == 0xFF && d[pos + 9] == 0xFF;
        const unsigned type = ordinalType ? unsigned(d[pos + 10] | (d[pos + 11] << 8)) : 0;
        const size_t data = pos + headerSize;
        if (ordinalType && type == 16)
            return std::vector<uint8_t>(d + data, d + data + dataSize);
        pos = (data + dataSize + 3) & ~size_t(3);
    }
    return {};
}

std::vector<uint8_t> Bytes(const QByteArray &a)
{
    return std::vector<uint8_t>(a.begin(), a.end());
}

QByteArray ToByteArray(const std::vector<uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size()));
}

QString WriteFile(const QString &dir, const QString &name, const std::vector<uint8_t> &bytes)
{
    const QString path = dir + QLatin1Char('/') + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(ToByteArray(bytes));
    return path;
}

} // namespace testfiles
