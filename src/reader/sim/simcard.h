#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// A simulated MIFARE Classic card (1K or 4K) that behaves as the NXP data sheet says.
//
// Memory is kept as the standard raw dump: block after block, 16 bytes each, 1024 bytes
// for a 1K card (16 sectors of 4 blocks) and 4096 bytes for a 4K card (32 sectors of 4
// blocks, then 8 sectors of 16 blocks). That is the ".mfd" format other MIFARE tools read
// and write, so SaveFile/LoadFile exchange cards with them.
//
// Block 0, the manufacturer block, is never writable and holds:
//   4-byte UID: UID[0..3], BCC (XOR of the UID bytes), SAK, ATQA (LSB first), then
//               manufacturer data;
//   7-byte UID: UID[0..6], SAK, ATQA (LSB first), then manufacturer data.
// SAK is 0x08 for 1K and 0x18 for 4K; ATQA is 0x0004 / 0x0002 with a 4-byte UID and
// 0x0044 / 0x0042 with a 7-byte UID.
//
// A new card is in the factory transport configuration: every trailer holds key A
// FF FF FF FF FF FF, access bytes FF 07 80, byte 9 0x69 and key B FF FF FF FF FF FF; data
// blocks are zero.
//
// Protocol state: a card is idle, selected (Select), authenticated for one sector with
// key A or key B (Authenticate), or halted (Halt). Any failed command, a failed
// authentication included, drops it back to idle with no sector authenticated; it must be
// selected again. A halted card does not answer Select until it has left the field
// (LeaveField) and come back.
//
// Access conditions (C1 C2 C3 of the block, from access bytes 6 to 8 of the sector's
// trailer) are enforced for reads and writes as in the data sheet tables:
//   data blocks  000 r A|B w A|B   010 r A|B w -    100 r A|B w B    110 r A|B w B
//                001 r A|B w -     011 r B   w B    101 r B   w -    111 r -   w -
//   trailer (key A / access bits / key B, each read:write)
//                000  -:A   A:-   A:A      010  -:-   A:-   A:-
//                100  -:B  AB:-   -:B      110  -:-  AB:-   -:-
//                001  -:A   A:A   A:A      011  -:B  AB:B   -:B
//                101  -:-  AB:B   -:-      111  -:-  AB:-   -:-
// Value-block commands are not modelled (the program never issues them).
// Key A always reads back as zeros; key B reads back as zeros unless the trailer condition
// makes it readable. In the conditions where key B is readable (000, 010, 001) key B
// cannot serve as a key: authenticating with it succeeds, but every read or write after it
// is refused. A trailer write stores only the parts (key A, access bytes 6 to 9, key B)
// the authenticated key may write; a trailer write that may change none of them is
// refused. Access bits whose bits disagree with their complements block the whole
// sector for good: every later authentication and access in it fails.
enum class TSimResult
{
    Ok,
    NoCard,           // no card, or the card is not selected (idle or halted): no answer
    AuthFailed,       // wrong key, wrong UID bytes, or the sector is blocked
    AccessDenied,     // the access conditions refuse the command
    NotAuthenticated, // the block is outside the authenticated sector, or none is
    BadBlock,         // block number outside the card
};

class TSimCard
{
public:
    enum class Type
    {
        Classic1K,
        Classic4K
    };

    static constexpr int BlockSize = 16;

    // A factory-fresh card. uid must have 4 or 7 bytes (other lengths are cut or padded
    // with zeros to 4 bytes).
    TSimCard(Type type, const std::vector<uint8_t> &uid);

    // A card from a raw dump of 1024 (1K) or 4096 (4K) bytes. uidLength 4 or 7; 0 takes
    // 4 when byte 4 of block 0 is the BCC of bytes 0 to 3, else 7. nullopt for a dump of
    // any other size.
    static std::optional<TSimCard> FromDump(const std::vector<uint8_t> &dump, int uidLength = 0);
    // Loads/saves a .mfd file (raw dump). Save writes a temporary file and renames it.
    static std::optional<TSimCard> LoadFile(const QString &path, int uidLength = 0,
                                            QString *error = nullptr);
    bool SaveFile(const QString &path, QString *error = nullptr) const;

    Type CardType() const { return fType; }
    int BlockCount() const { return fType == Type::Classic1K ? 64 : 256; }
    int SectorCount() const { return fType == Type::Classic1K ? 16 : 40; }
    const std::vector<uint8_t> &Uid() const { return fUid; }
    // The four UID bytes that authentication checks: the UID itself when it has 4 bytes,
    // else UID bytes 3 to 6.
    std::array<uint8_t, 4> AuthUid() const;
    uint8_t Sak() const;
    uint16_t Atqa() const;

    // The raw dump, as stored (keys included: this is the tool's view, not the card's).
    const std::vector<uint8_t> &Dump() const { return fMemory; }
    std::array<uint8_t, 16> Block(int block) const;
    // Sets a block directly, bypassing every protection (for preparing test cards).
    void SetBlock(int block, const std::array<uint8_t, 16> &data);
    // Counts every change of the memory (writes through the protocol and SetBlock).
    uint64_t Revision() const { return fRevision; }

    // Geometry.
    static int SectorOfBlock(int block);
    static int FirstBlockOfSector(int sector);
    static int BlocksInSector(int sector);
    static int TrailerOfSector(int sector);
    static bool IsTrailer(int block);

    // Access bits of a block (C1<<2 | C2<<1 | C3) from the sector's trailer; nullopt when
    // the trailer's access bits are inconsistent (the sector is blocked).
    std::optional<int> AccessBits(int block) const;
    bool SectorBlocked(int sector) const;
    // Access bytes 6, 7, 8 for the given conditions of data groups 0..2 and the trailer.
    static std::array<uint8_t, 3> EncodeAccessBits(int c0, int c1, int c2, int trailer);

    // Protocol commands.
    bool IsSelected() const { return fSelected; }
    bool IsHalted() const { return fHalted; }
    int AuthenticatedSector() const { return fAuthSector; }
    TSimResult Select(); // REQA/anticollision/select: fails (NoCard) only when halted
    TSimResult Authenticate(int block, bool keyB, const uint8_t *uid4, const uint8_t *key6);
    TSimResult Read(int block, uint8_t *data16);
    TSimResult Write(int block, const uint8_t *data16);
    TSimResult Halt();
    // The card leaves the field: power lost, halt state and authentication forgotten.
    void LeaveField();
    // What a failed command does: back to idle (a halted card stays halted), no sector
    // authenticated.
    void DropToIdle();

private:
    TSimResult Fail(TSimResult result); // drops to idle and returns result
    TSimResult CheckAccess(int block);  // selection, range, authenticated sector
    void WriteBlock0();

    Type fType;
    std::vector<uint8_t> fUid;
    std::vector<uint8_t> fMemory;
    uint64_t fRevision = 0;
    bool fSelected = false;
    bool fHalted = false;
    int fAuthSector = -1;
    bool fAuthKeyB = false;
};
