#pragma once

// What the tests of the card operations and of the card worker share: the two reader
// families, sample UIDs, profiles made in memory, and the simulator with one family
// attached and a card laid on it.

#include "cards/cardlayout.h"
#include "profiles/secprofiles.h"
#include "reader/readerkind.h"
#include "reader/sim/simbinding.h"

#include <QByteArray>
#include <QTest>

#include <memory>
#include <vector>

constexpr int Alto = READER_ALTO;
constexpr int Nova = READER_NOVA;

inline const std::vector<uint8_t> Uid4Bytes{0x1A, 0x2B, 0x3C, 0x4D};
inline const std::vector<uint8_t> Uid7Bytes{0x04, 0x51, 0x62, 0x73, 0x84, 0x95, 0xA6};

// Bytes of a block, for readable comparisons.
inline QByteArray Bytes(const CardLayout::TBlock &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size())).toHex(' ');
}

inline std::unique_ptr<TSecProfile> Profile(int id, int sector, int64_t keyA, int64_t keyB,
                                            bool ownId = false)
{
    auto p = std::make_unique<TSecProfile>();
    p->SetID(id);
    p->Sector = uint8_t(sector);
    p->KeyA = keyA;
    p->KeyB = keyB;
    p->SetUseOriginalId(ownId ? 1 : 0);
    return p;
}

// The simulator with the reader of one family attached; the test class derives from it
// besides QObject.
class TSimFamily
{
protected:
    std::unique_ptr<TSimulator> sim;
    int family = Alto;

    void Use(int f)
    {
        family = f;
        sim->Attach(f == Alto, f == Nova);
        ReaderKind = f;
    }
    void Put(const std::vector<uint8_t> &uid = Uid4Bytes)
    {
        QVERIFY(sim->Field().PutCard(TSimCard(TSimCard::Type::Classic1K, uid)));
    }
    // The card leaves the field and is presented anew.
    void Represent()
    {
        auto card = sim->Field().TakeCard();
        QVERIFY(card);
        QVERIFY(sim->Field().PutCard(*card));
    }
};
