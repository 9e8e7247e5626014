#pragma once

// What the card dialog tests share besides the common dialog fixture: the main window, the
// three profiles of their own (all active), a fresh card worker per test, and a look at the
// message of a card dialog.

#include "dialogfixture.h"

#include <QLabel>
#include <QPushButton>

// Shows a card dialog for a profile and waits until the worker polls the empty field.
#define OPEN_AND_POLL(fx, dialog, prof)                                                            \
    do {                                                                                           \
        (fx).sim->Alto().ClearLog();                                                               \
        (dialog)->profile = (prof);                                                                \
        (dialog)->show();                                                                          \
        QTRY_VERIFY_WITH_TIMEOUT((fx).WorkerPolled(), 15000);                                      \
    } while (false)

// Waits for the next message of a card dialog (its answer to a card or an event).
#define WAIT_MSG(dialog) QTRY_VERIFY_WITH_TIMEOUT((dialog)->lblMsg->isVisible(), 15000)

// Profiles the tests add to every new database, besides the two seeded ones.
struct TTestProfiles
{
    static constexpr int64_t OfficeKeyA = 0xA1A2A3A4A5A6;
    static constexpr int64_t OfficeKeyB = 0xB1B2B3B4B5B6;
    static constexpr uint8_t OfficeSector = 3;
    static constexpr int64_t StoreKeyA = 0x0C1C2C3C4C5C;
    static constexpr int64_t StoreKeyB = 0x0D1D2D3D4D5D;
    static constexpr uint8_t StoreSector = 3;
    static constexpr int64_t OrigKeyA = 0x111213141516;
    static constexpr int64_t OrigKeyB = 0x212223242526;
    static constexpr uint8_t OrigSector = 5;
};

class TCardFixture : public TDialogFixture
{
public:
    // Call from initTestCase: the main window and the password dialog (not shown).
    static void CreateMainWindow()
    {
        frmMain = new TfrmMain;
        frmPass = new TfrmPass(frmMain);
    }
    static void DestroyMainWindow()
    {
        delete frmMain; // takes the dialogs with it
        frmMain = nullptr;
        frmPass = nullptr;
    }

    // Call from init(). False (with the reason in Error) when the set-up failed.
    bool SetUp()
    {
        TCardDialog::TimeScale = 1.0;
        Modal::ClearHistory();
        // The worker's and the engine's waits shrink to a couple of milliseconds: fast,
        // without spinning the worker.
        Delay::SetHook([](unsigned ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 2u)));
        });
        if (!AttachReaderAndDatabase())
            return false;
        using P = TTestProfiles;
        if (AddProfile(QStringLiteral("Офис"), P::OfficeSector, QStringLiteral("office"),
                       P::OfficeKeyA, P::OfficeKeyB, 2, 1, 0x5A17C93E02D4, 0, 0) != 0 ||
            AddProfile(QStringLiteral("Склад"), P::StoreSector, QStringLiteral("store"),
                       P::StoreKeyA, P::StoreKeyB, 2, 1, 0x5A17C93E02D4, 0, 0) != 0 ||
            AddProfile(QStringLiteral("Ориг"), P::OrigSector, QStringLiteral("orig"), P::OrigKeyA,
                       P::OrigKeyB, 2, 1, 0x5A17C93E02D4, 1, 0) != 0) {
            Error = QStringLiteral("AddProfile failed");
            return false;
        }
        if (!LoadTestProfiles())
            return false;
        for (TSecProfile *p : {Office(), Store(), Orig()})
            p->SetActive(true);
        frmMain->CurrentProfID = Office()->ID();
        CreateMfrcThread();
        return true;
    }

    // Call from cleanup(), after the dialogs were hidden.
    void TearDown() { ReleaseReaderAndDatabase(); }

    // True once the paused worker has stopped calling the reader (a pause takes effect at
    // the worker's next wait, so a cycle under way may still end first): no reader call
    // for 100 ms, while a running worker polls every few milliseconds.
    bool WorkerParked() const
    {
        for (int tries = 0; tries < 100; ++tries) {
            const size_t calls = sim->Alto().CallLog().size();
            QTest::qWait(100);
            if (sim->Alto().CallLog().size() == calls)
                return true;
        }
        return false;
    }

    // The colour of the message text.
    static QColor MsgColour(const TCardDialog *dialog)
    {
        return dialog->lblMsg->palette().color(QPalette::WindowText);
    }
};
