#pragma once

#include "reader/readerkind.h"

#include <QString>

#include <cstdint>

// Looks for one desktop reader at start, opens it and sets ReaderKind.
//
// Order: the first RW-Alto reader (Mf500StartEnumerate, 200 ms, Mf500EnumerateNext, 200 ms,
// Mf500InterfaceOpen(0x30, serial) accepting 0 and -20, Mf500PcdConfig); only when none
// was opened, RW-Nova reader 0 (Enumerate, GetFirstReader, 10 ms, OpenByNum(0),
// GetReaderSerialStr, RfFieldControl(1)). Waits go through Delay::Sleep. No message box;
// an unbound library counts as a family with no reader.
//
// ReaderSerial receives the RW-Alto serial number (0 when none is open) and ReaderNumber
// the RW-Nova reader number (0, or -1 when none is open): the main window's fields of
// those names. Returns the text of status panel 0: "RW-Alto серийный No. 17",
// "RW-Nova серийный No. A1B2" or "Нет считывателя".
QString DiscoverReader(uint32_t &ReaderSerial, int32_t &ReaderNumber);

// What CheckReader tests: a reader was opened at start.
bool ReaderOpen();
