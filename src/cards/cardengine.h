#pragma once

// Results and settings of the card operations of TSecProfile (WriteCard, EraseCard,
// WriteMaster, ReWriteCard, PrepareReader, ReadCard).
//
// Every operation returns 0 on success, otherwise the status of the first library call
// that failed (an MF RC500 status widened with its sign, a Rivlink status widened with
// zeros) or one of the engine's own codes below.

#include <cstdint>
#include <functional>

namespace CardEngine {

// No card was selected (ReadCard).
constexpr int32_t NoCard = -1;

// ReadCard and PrepareReader on RW-Alto.
constexpr int32_t AltoAuthFailed = -4;    // the stored key does not open the sector
constexpr int32_t AltoNotProgrammed = -6; // the reader's marker byte is not 0x77
constexpr int32_t AltoNotStored = -15;    // PrepareReader: key or record not stored
constexpr int32_t AltoEepromUnreadable = -18;

// ReadCard on RW-Nova.
constexpr int32_t NovaAuthFailed = 7;
constexpr int32_t NovaNotProgrammed = 170; // also ReadCard's result with no reader open

// Codes of the engine that no library status can take (outside 16 bits).
// A move whose source number block fails its check byte; nothing on the card changed.
constexpr int32_t BadCheckByte = 0x100CB;
// A card operation asked for while no reader library is open.
constexpr int32_t NoReader = 0x100C0;
// A move whose card needs a new number from the register, which could not be read
// (the database is not open, or the query failed); nothing on the card changed.
constexpr int32_t NoCardNumber = 0x100C2;

// The marker byte of a programmed reader's profile record (the letter 'w').
constexpr uint8_t ReaderMarker = 0x77;
// The reader's EEPROM address of the profile record on RW-Alto.
constexpr uint16_t ReaderRecordAddress = 0x70;

// The waits of the card sequences, in milliseconds.
constexpr unsigned IssueWait = 100; // WriteCard, between its three steps
constexpr unsigned MoveWait = 20;   // every wait of ReWriteCard

// Where a move whose source profile uses the cards' own IDs takes the card's new number:
// the next free number of the card register (GetMaxCardNum, unless another source is
// installed). Called on the worker thread; may throw like GetMaxCardNum.
using NumberSource = std::function<int64_t()>;
// An empty source restores GetMaxCardNum.
void SetNextNumberSource(NumberSource source);
int64_t NextCardNumber();

} // namespace CardEngine
