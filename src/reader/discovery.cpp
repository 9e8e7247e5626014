#include "reader/discovery.h"

#include "reader/Rivlink_h.h"
#include "reader/delay.h"
#include "reader/mfrc500.h"

#include <cstring>

namespace {
QString NoReaderText()
{
    return QStringLiteral("Нет считывателя");
}
} // namespace

QString DiscoverReader(uint32_t &ReaderSerial, int32_t &ReaderNumber)
{
    ReaderSerial = 0;
    ReaderNumber = -1;
    ReaderKind = READER_NONE;

    if (TMfrc500Library *alto = Mfrc500()) {
        int16_t r = alto->Mf500StartEnumerate();
        Delay::Sleep(200);
        uint32_t serial = 0;
        if (r == 0) {
            r = alto->Mf500EnumerateNext(&serial);
            if (r == 0) {
                Delay::Sleep(200);
                r = alto->Mf500InterfaceOpen(0x30, serial);
                if (r == 0 || r == mfrc500::MI_ALREADYOPEN) {
                    ReaderSerial = serial;
                    alto->Mf500PcdConfig();
                    ReaderKind = READER_ALTO;
                }
            }
        }
    }
    // The panel follows the reader actually opened: a reader whose serial number is 0
    // is still an open RW-Alto reader.
    if (ReaderKind == READER_ALTO)
        return QStringLiteral("RW-Alto серийный No. %1").arg(ReaderSerial);

    TRivlinkLibrary *nova = Rivlink();
    if (!nova)
        return NoReaderText();
    const int16_t n = int16_t(nova->Enumerate());
    if (n == 0)
        return NoReaderText();
    if (n > 0) {
        char buffer[64];
        std::memset(buffer, 0, sizeof buffer);
        if (nova->GetFirstReader(buffer, 64) == 0) {
            Delay::Sleep(10);
            ReaderNumber = 0;
            if (nova->OpenByNum(0) == 0 && nova->GetReaderSerialStr(0, buffer) == 0) {
                nova->RfFieldControl(1);
                buffer[sizeof buffer - 1] = 0; // never read past the buffer
                ReaderKind = READER_NOVA;
                return QStringLiteral("RW-Nova серийный No. ") + QString::fromLatin1(buffer);
            }
        }
    }
    ReaderNumber = -1;
    return NoReaderText();
}

bool ReaderOpen()
{
    return ReaderKind != READER_NONE;
}
