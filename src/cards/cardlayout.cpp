#include "cards/cardlayout.h"

namespace CardLayout {

TKey KeyBytes(int64_t key)
{
    TKey bytes{};
    const uint64_t value = uint64_t(key);
    for (int i = 0; i < 6; ++i)
        bytes[std::size_t(i)] = uint8_t(value >> (8 * (5 - i)));
    return bytes;
}

TUid4 Uid4(const uint8_t *uid, uint8_t uidLen)
{
    const uint8_t *from = uidLen == 4 ? uid : uid + 3;
    return {from[0], from[1], from[2], from[3]};
}

TBlock NumberBlock(int64_t cardNum)
{
    TBlock block{};
    const uint32_t low = uint32_t(uint64_t(cardNum));
    for (int i = 0; i < 4; ++i)
        block[std::size_t(i)] = uint8_t(low >> (8 * i));
    block[4] = uint8_t(block[0] ^ block[1] ^ block[2] ^ block[3]);
    return block;
}

bool DecodeNumberBlock(const uint8_t *block16, int64_t &cardNum)
{
    if (uint8_t(block16[0] ^ block16[1] ^ block16[2] ^ block16[3]) != block16[4])
        return false;
    uint32_t low = 0;
    for (int i = 3; i >= 0; --i)
        low = (low << 8) | block16[i];
    cardNum = int64_t(low);
    return true;
}

namespace {

// A sector trailer: key A, the four access bytes, key B.
TBlock Trailer(int64_t keyA, const std::array<uint8_t, 4> &access, int64_t keyB)
{
    TBlock block{};
    const TKey a = KeyBytes(keyA);
    const TKey b = KeyBytes(keyB);
    for (std::size_t i = 0; i < 6; ++i) {
        block[i] = a[i];
        block[10 + i] = b[i];
    }
    for (std::size_t i = 0; i < 4; ++i)
        block[6 + i] = access[i];
    return block;
}

} // namespace

TBlock UserTrailer(int64_t keyA, int64_t keyB)
{
    return Trailer(keyA, UserAccess, keyB);
}

TBlock TransportTrailer()
{
    return Trailer(TransportKey, TransportAccess, TransportKey);
}

TBlock MasterNumberBlock(int64_t cardNum)
{
    TBlock block = NumberBlock(cardNum);
    constexpr uint8_t letters[6] = {'M', 'A', 'S', 'T', 'E', 'R'};
    for (std::size_t i = 0; i < 6; ++i)
        block[10 + i] = letters[i];
    return block;
}

TBlock MasterDataBlock(int64_t keyA, int64_t keyB, uint8_t sector)
{
    TBlock block{};
    const TKey a = KeyBytes(keyA);
    const TKey b = KeyBytes(keyB);
    for (std::size_t i = 0; i < 6; ++i) {
        block[i] = a[i];
        block[6 + i] = b[i];
    }
    block[12] = sector;
    uint8_t check = 0xA5;
    for (std::size_t i = 0; i < 15; ++i)
        check ^= block[i];
    block[15] = check;
    return block;
}

} // namespace CardLayout
