#pragma once
// The program's own version-resource layer. The executable carries its version
// block (VS_VERSIONINFO, Windows binary layout) in the ELF section
// ".tagor_version"; these functions find it in a file and look values up in
// it, with the meanings of the Windows functions of the same names.
// Plain standard C++, no Qt. Wide characters are UTF-16 (char16_t).

#include <cstddef>
#include <cstdint>
#include <string>

using DWORD = uint32_t;
using UINT = uint32_t;
using WCHAR = char16_t;

// Name of the ELF section that holds the version block.
inline constexpr const char *kVersionSectionName = ".tagor_version";

struct VS_FIXEDFILEINFO
{
    DWORD dwSignature; // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);
inline constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

// Size in bytes of the version block of the file, 0 when it has none or it
// cannot be read. *lpdwHandle (may be null) is set to 0.
DWORD GetFileVersionInfoSizeW(const WCHAR *lptstrFilename, DWORD *lpdwHandle);

// Copies the version block of the file into lpData. Fails (false) when the
// file has no readable block or dwLen is smaller than the block.
bool GetFileVersionInfoW(const WCHAR *lptstrFilename, DWORD dwHandle, DWORD dwLen, void *lpData);

// Looks lpSubBlock up in a block returned by GetFileVersionInfoW (whose own
// root length bounds every read): "\" gives the VS_FIXEDFILEINFO,
// "\VarFileInfo\Translation" the list of translations (length in bytes),
// "\StringFileInfo\<table>\<key>" the text (length in characters, at most up
// to the node's end). Key comparison ignores ASCII case; repeated
// backslashes count as one.
bool VerQueryValueW(const void *pBlock, const WCHAR *lpSubBlock, void **lplpBuffer, UINT *puLen);

// The same look-up in a block of blockSize bytes: nothing outside
// [pBlock, pBlock + blockSize) is read, whatever the lengths in it say.
bool VerQueryValueBounded(const void *pBlock, size_t blockSize, const WCHAR *lpSubBlock,
                          const void **lplpBuffer, UINT *puLen);

namespace winver {

// Finds the section named `name` in an ELF image held in memory; on success
// sets offset and size of its contents inside the image.
bool FindElfSection(const uint8_t *image, size_t imageSize, const char *name, uint64_t *offset,
                    uint64_t *size);

// The same for a file on disk; reads only the headers, the section name table
// and nothing else.
bool FindElfSectionInFile(const std::string &path, const char *name, uint64_t *offset,
                          uint64_t *size);

// The version block of a file as bytes: empty when the file has none.
std::string ReadVersionBlock(const std::string &path);

} // namespace winver
