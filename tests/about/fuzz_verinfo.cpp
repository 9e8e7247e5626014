// libFuzzer target for the version block parser and the ELF section finder.
// The input is taken both as a version block and as an ELF image; every
// value found is read in full, so a look-up that strays outside its input
// is caught by the address sanitizer.

#include "about/winver.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

const char16_t *const kPaths[] = {
    u"\\",
    u"\\VarFileInfo\\Translation",
    u"\\StringFileInfo\\040904E4\\Comments",
    u"\\StringFileInfo\\040904E4\\FileVersion",
    u"\\StringFileInfo\\040904E4",
    u"\\StringFileInfo\\\\Comments",
    u"\\StringFileInfo",
};

volatile uint8_t gSink;

void Touch(const void *p, size_t n)
{
    const auto *b = static_cast<const uint8_t *>(p);
    for (size_t i = 0; i < n; ++i)
        gSink = gSink ^ b[i];
}

void QueryBlock(const uint8_t *data, size_t size, const std::u16string &extraPath)
{
    // An exact-size copy, so that any read past the end is reported.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    if (size)
        std::memcpy(copy.get(), data, size);
    auto query = [&](const char16_t *path) {
        const void *p = nullptr;
        UINT len = 0;
        if (VerQueryValueBounded(copy.get(), size, path, &p, &len)) {
            // Text values are counted in characters, binary ones in bytes:
            // the larger reading must still lie inside the block, or at
            // least the byte count must.
            const auto *u = static_cast<const uint8_t *>(p);
            if (u < copy.get() || u > copy.get() + size)
                __builtin_trap();
            Touch(p, std::min<size_t>(size_t(len) * 2, size_t(copy.get() + size - u)));
            Touch(p, len);
        }
    };
    for (const char16_t *path : kPaths)
        query(path);
    query(extraPath.c_str());

    // The unbounded form trusts the root length: only when it fits.
    if (size >= 2 && size_t(copy[0] | (copy[1] << 8)) <= size) {
        void *p = nullptr;
        UINT len = 0;
        VerQueryValueW(copy.get(), u"\\StringFileInfo\\040904E4\\Comments", &p, &len);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A short path from the first bytes, to reach odd keys too.
    std::u16string extra;
    if (size >= 1) {
        const size_t n = std::min<size_t>(data[0] % 24, (size - 1) / 2);
        for (size_t i = 0; i < n; ++i)
            extra.push_back(char16_t(data[1 + 2 * i] | (data[2 + 2 * i] << 8)));
    }
    QueryBlock(data, size, extra);

    std::unique_ptr<uint8_t[]> image(new uint8_t[size ? size : 1]);
    if (size)
        std::memcpy(image.get(), data, size);
    uint64_t off = 0, len = 0;
    if (winver::FindElfSection(image.get(), size, kVersionSectionName, &off, &len)) {
        if (off > size || len > size - off)
            __builtin_trap();
        QueryBlock(image.get() + off, size_t(len), extra);
    }
    return 0;
}
