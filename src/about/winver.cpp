#include "winver.h"

#include "verblock.h"

#include <cstring>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint16_t Rd16(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t Rd32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint64_t Rd64(const uint8_t *p)
{
    return uint64_t(Rd32(p)) | (uint64_t(Rd32(p + 4)) << 32);
}

size_t Align4(size_t v)
{
    return (v + 3) & ~size_t(3);
}

// ---------------------------------------------------------------------------
// Version block nodes. Offsets are relative to the block start, which the
// 32-bit alignment of the layout refers to.

struct Node
{
    size_t end = 0; // one past the node's last byte (start + wLength)
    size_t keyStart = 0;
    size_t keyChars = 0; // without the NUL
    uint16_t type = 0;
    size_t valueStart = 0;
    size_t valueBytes = 0;
    size_t childrenStart = 0;
};

// Reads the node at `start`, which must lie wholly before `limit`.
bool ParseNode(const uint8_t *b, size_t start, size_t limit, Node &n)
{
    if (start > limit || limit - start < 6)
        return false;
    const uint16_t wLength = Rd16(b + start);
    if (wLength < 6 || wLength > limit - start)
        return false;
    n.end = start + wLength;
    const uint16_t wValueLength = Rd16(b + start + 2);
    n.type = Rd16(b + start + 4);

    n.keyStart = start + 6;
    size_t p = n.keyStart;
    for (;;) {
        if (n.end - p < 2)
            return false; // key without its terminating NUL
        if (Rd16(b + p) == 0)
            break;
        p += 2;
    }
    n.keyChars = (p - n.keyStart) / 2;

    n.valueStart = Align4(p + 2);
    const size_t avail = n.valueStart < n.end ? n.end - n.valueStart : 0;
    size_t bytes = n.type == 1 ? size_t(wValueLength) * 2 : wValueLength;
    if (bytes > avail) {
        if (n.type != 1)
            return false;           // binary value reaching past the node
        bytes = avail & ~size_t(1); // text: keep what lies inside the node
    }
    if (n.valueStart > n.end)
        n.valueStart = n.end;
    n.valueBytes = bytes;
    n.childrenStart = Align4(n.valueStart + bytes);
    return true;
}

char16_t LowerAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

bool KeyEquals(const uint8_t *b, const Node &n, const std::u16string &name)
{
    if (n.keyChars != name.size())
        return false;
    for (size_t i = 0; i < n.keyChars; ++i)
        if (LowerAscii(Rd16(b + n.keyStart + 2 * i)) != LowerAscii(name[i]))
            return false;
    return true;
}

bool FindChild(const uint8_t *b, const Node &parent, const std::u16string &name, Node &out)
{
    size_t pos = parent.childrenStart;
    while (pos < parent.end && parent.end - pos >= 6) {
        Node child;
        if (!ParseNode(b, pos, parent.end, child))
            return false;
        if (KeyEquals(b, child, name)) {
            out = child;
            return true;
        }
        pos = Align4(child.end);
    }
    return false;
}

// ---------------------------------------------------------------------------
// ELF section headers, read through a bounded reader.

using ReadFn = std::function<bool(uint64_t offset, void *dst, size_t n)>;

bool FindSection(const ReadFn &read, uint64_t fileSize, const char *name, uint64_t *offset,
                 uint64_t *size)
{
    uint8_t eh[64];
    if (fileSize < 52 || !read(0, eh, fileSize < 64 ? 52 : 64))
        return false;
    if (std::memcmp(eh,
                    "\x7F"
                    "ELF",
                    4) != 0)
        return false;
    const bool is64 = eh[4] == 2;
    if ((eh[4] != 1 && eh[4] != 2) || eh[5] != 1) // 32/64-bit, little-endian only
        return false;
    if (is64 && fileSize < 64)
        return false;

    const uint64_t shoff = is64 ? Rd64(eh + 0x28) : Rd32(eh + 0x20);
    const uint16_t shentsize = Rd16(eh + (is64 ? 0x3A : 0x2E));
    uint64_t shnum = Rd16(eh + (is64 ? 0x3C : 0x30));
    uint64_t shstrndx = Rd16(eh + (is64 ? 0x3E : 0x32));
    const size_t needEnt = is64 ? 64 : 40;
    if (shoff == 0 || shentsize < needEnt || shoff >= fileSize)
        return false;

    struct Sh
    {
        uint32_t name, type;
        uint64_t offset, size;
        uint32_t link;
    };
    auto readSh = [&](uint64_t index, Sh &sh) -> bool {
        if (index >= (fileSize - shoff) / shentsize)
            return false;
        uint8_t raw[64];
        if (!read(shoff + index * shentsize, raw, needEnt))
            return false;
        sh.name = Rd32(raw);
        sh.type = Rd32(raw + 4);
        sh.offset = is64 ? Rd64(raw + 0x18) : Rd32(raw + 0x10);
        sh.size = is64 ? Rd64(raw + 0x20) : Rd32(raw + 0x14);
        sh.link = Rd32(raw + (is64 ? 0x28 : 0x18));
        return true;
    };

    // Extended numbering keeps the real count and name-table index in section 0.
    if (shnum == 0 || shstrndx == 0xFFFF) {
        Sh zero;
        if (!readSh(0, zero))
            return false;
        if (shnum == 0)
            shnum = zero.size;
        if (shstrndx == 0xFFFF)
            shstrndx = zero.link;
    }
    if (shnum > (fileSize - shoff) / shentsize)
        return false; // headers would lie past the end of the file

    Sh strtab;
    if (!readSh(shstrndx, strtab) || strtab.type == 8 /* SHT_NOBITS */
        || strtab.offset > fileSize || strtab.size > fileSize - strtab.offset)
        return false;

    const size_t nameLen = std::strlen(name) + 1; // compare with the NUL
    std::vector<char> buf(nameLen);
    for (uint64_t i = 1; i < shnum; ++i) {
        Sh sh;
        if (!readSh(i, sh))
            return false;
        if (sh.name >= strtab.size || strtab.size - sh.name < nameLen)
            continue;
        if (!read(strtab.offset + sh.name, buf.data(), nameLen))
            return false;
        if (std::memcmp(buf.data(), name, nameLen) != 0)
            continue;
        if (sh.type == 8 || sh.offset > fileSize || sh.size > fileSize - sh.offset)
            return false; // no contents in the file, or past its end
        *offset = sh.offset;
        *size = sh.size;
        return true;
    }
    return false;
}

class File
{
public:
    explicit File(const std::string &path)
    {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat st
        {
        };
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))
            size_ = uint64_t(st.st_size);
    }
    ~File()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    uint64_t Size() const { return size_; }

    bool Read(uint64_t offset, void *dst, size_t n) const
    {
        if (fd_ < 0 || offset > size_ || n > size_ - offset)
            return false;
        auto *d = static_cast<uint8_t *>(dst);
        while (n > 0) {
            const ssize_t got = ::pread(fd_, d, n, off_t(offset));
            if (got <= 0)
                return false;
            d += got;
            n -= size_t(got);
            offset += uint64_t(got);
        }
        return true;
    }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

std::string FileNameFromWide(const WCHAR *name)
{
    if (!name)
        return {};
    return verblock::Utf16ToUtf8(std::u16string(name));
}

} // namespace

namespace winver {

bool FindElfSection(const uint8_t *image, size_t imageSize, const char *name, uint64_t *offset,
                    uint64_t *size)
{
    const ReadFn read = [&](uint64_t off, void *dst, size_t n) {
        if (off > imageSize || n > imageSize - off)
            return false;
        std::memcpy(dst, image + off, n);
        return true;
    };
    return FindSection(read, imageSize, name, offset, size);
}

bool FindElfSectionInFile(const std::string &path, const char *name, uint64_t *offset,
                          uint64_t *size)
{
    const File f(path);
    const ReadFn read = [&](uint64_t off, void *dst, size_t n) { return f.Read(off, dst, n); };
    return FindSection(read, f.Size(), name, offset, size);
}

std::string ReadVersionBlock(const std::string &path)
{
    const File f(path);
    const ReadFn read = [&](uint64_t off, void *dst, size_t n) { return f.Read(off, dst, n); };
    uint64_t offset = 0, size = 0;
    if (!FindSection(read, f.Size(), kVersionSectionName, &offset, &size) || size < 6)
        return {};
    uint8_t head[2];
    if (!f.Read(offset, head, 2))
        return {};
    // The block is as long as its root node says; the section may be padded.
    const uint16_t wLength = Rd16(head);
    if (wLength < 6 || wLength > size)
        return {};
    std::string block(wLength, '\0');
    if (!f.Read(offset, block.data(), wLength))
        return {};
    return block;
}

} // namespace winver

DWORD GetFileVersionInfoSizeW(const WCHAR *lptstrFilename, DWORD *lpdwHandle)
{
    if (lpdwHandle)
        *lpdwHandle = 0;
    return DWORD(winver::ReadVersionBlock(FileNameFromWide(lptstrFilename)).size());
}

bool GetFileVersionInfoW(const WCHAR *lptstrFilename, DWORD /*dwHandle*/, DWORD dwLen, void *lpData)
{
    if (!lpData)
        return false;
    const std::string block = winver::ReadVersionBlock(FileNameFromWide(lptstrFilename));
    // The file may have changed since the size was asked for: never copy
    // more than the caller's buffer, and never hand out a part of a block.
    if (block.empty() || block.size() > dwLen)
        return false;
    std::memcpy(lpData, block.data(), block.size());
    return true;
}

bool VerQueryValueBounded(const void *pBlock, size_t blockSize, const WCHAR *lpSubBlock,
                          const void **lplpBuffer, UINT *puLen)
{
    if (lplpBuffer)
        *lplpBuffer = nullptr;
    if (puLen)
        *puLen = 0;
    if (!pBlock || !lpSubBlock || !lplpBuffer || !puLen)
        return false;
    const auto *b = static_cast<const uint8_t *>(pBlock);
    Node node;
    if (!ParseNode(b, 0, blockSize, node))
        return false;

    const std::u16string path(lpSubBlock);
    size_t i = 0;
    while (i < path.size()) {
        if (path[i] == u'\\') {
            ++i;
            continue;
        }
        size_t j = path.find(u'\\', i);
        if (j == std::u16string::npos)
            j = path.size();
        Node child;
        if (!FindChild(b, node, path.substr(i, j - i), child))
            return false;
        node = child;
        i = j;
    }
    *lplpBuffer = b + node.valueStart;
    *puLen = UINT(node.type == 1 ? node.valueBytes / 2 : node.valueBytes);
    return true;
}

bool VerQueryValueW(const void *pBlock, const WCHAR *lpSubBlock, void **lplpBuffer, UINT *puLen)
{
    if (lplpBuffer)
        *lplpBuffer = nullptr;
    if (puLen)
        *puLen = 0;
    if (!pBlock)
        return false;
    // A block from GetFileVersionInfoW is exactly as long as its root says.
    const size_t size = Rd16(static_cast<const uint8_t *>(pBlock));
    const void *found = nullptr;
    const bool ok = VerQueryValueBounded(pBlock, size, lpSubBlock, &found, puLen);
    if (lplpBuffer)
        *lplpBuffer = const_cast<void *>(found);
    return ok;
}
