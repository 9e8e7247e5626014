#pragma once

// The data the program puts on a Mifare Classic card. Every profile owns one sector s:
// block 4s holds the number block (or the master number block), block 4s+1 the master
// data block of a master card, block 4s+3 the sector trailer with the profile's keys.

#include <array>
#include <cstddef>
#include <cstdint>

namespace CardLayout {

using TBlock = std::array<uint8_t, 16>;
using TKey = std::array<uint8_t, 6>;
using TUid4 = std::array<uint8_t, 4>;

// The factory key of blank cards: six bytes 0xFF.
constexpr int64_t TransportKey = 0xFFFFFFFFFFFFLL;

// Access bytes 6..9 of the user trailer: data blocks read with A or B, written with B
// only (condition 100); keys written with B and never read, access bits read with A or B
// and written with B (trailer condition 011).
constexpr std::array<uint8_t, 4> UserAccess = {0x78, 0x77, 0x88, 0x69};
// Access bytes of the factory configuration: everything open to either key, trailer 001.
constexpr std::array<uint8_t, 4> TransportAccess = {0xFF, 0x07, 0x80, 0x69};

// The six bytes of a key (its low 48 bits), most significant first.
TKey KeyBytes(int64_t key);

// Block n (0..3) of sector s.
constexpr uint8_t BlockOf(uint8_t sector, uint8_t n)
{
    return uint8_t(4 * sector + n);
}

// The four UID bytes used to authenticate: the whole UID when it has 4 bytes, else
// bytes 3 to 6.
TUid4 Uid4(const uint8_t *uid, uint8_t uidLen);

// Bytes 0..3: low 32 bits of the number, least significant first; byte 4: XOR of 0..3.
TBlock NumberBlock(int64_t cardNum);
// The number a number block carries; false when its check byte does not match.
bool DecodeNumberBlock(const uint8_t *block16, int64_t &cardNum);

// Key A, access bytes 78 77 88 69, key B.
TBlock UserTrailer(int64_t keyA, int64_t keyB);
// Transport key, access bytes FF 07 80 69, transport key.
TBlock TransportTrailer();

// The number block's first five bytes, zeros, then the letters "MASTER" in bytes 10..15.
TBlock MasterNumberBlock(int64_t cardNum);
// The target profile's key A and key B (most significant byte first), its sector in
// byte 12, zeros, and in byte 15 the check byte 0xA5 XOR bytes 0..14.
TBlock MasterDataBlock(int64_t keyA, int64_t keyB, uint8_t sector);

} // namespace CardLayout
