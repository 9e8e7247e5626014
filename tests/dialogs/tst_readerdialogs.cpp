// Reader activation and card read, end to end through the launchers, the real card worker
// and the simulated readers: programming the reader, reading cards back (the text shown
// and put on the clipboard), read failures, the launchers' refusals, and closing the
// activation dialog with Escape while the reader answers neither way.
#include "app/Main.h"
#include "app/modal.h"
#include "app/passwd.h"
#include "cards/cardlayout.h"
#include "dialogs/cardread.h"
#include "dialogs/readeractivate.h"
#include "profiles/DatUtils.h"
#include "reader/delay.h"
#include "reader/discovery.h"
#include "reader/sim/simbinding.h"
#include "reader/thread/thread.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes Uid4 = {0xA1, 0xB2, 0xC3, 0xD4};
const Bytes Uid7 = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

constexpr int64_t OfficeKeyA = 0xA1A2A3A4A5A6;
constexpr int64_t OfficeKeyB = 0xB1B2B3B4B5B6;
constexpr uint8_t OfficeSector = 3;
constexpr int64_t StoreKeyA = 0x0C1C2C3C4C5C;
constexpr int64_t StoreKeyB = 0x0D1D2D3D4D5D;

#define WAIT_MSG(dialog) QTRY_VERIFY_WITH_TIMEOUT((dialog)->lblMsg->isVisible(), 15000)

TSimCard Issued(const Bytes &uid, uint8_t sector, int64_t keyA, int64_t keyB, int64_t number)
{
    TSimCard card(TSimCard::Type::Classic1K, uid);
    card.SetBlock(CardLayout::BlockOf(sector, 0), CardLayout::NumberBlock(number));
    card.SetBlock(CardLayout::BlockOf(sector, 3), CardLayout::UserTrailer(keyA, keyB));
    return card;
}

QColor MsgColour(const TCardDialog *dialog)
{
    return dialog->lblMsg->palette().color(QPalette::WindowText);
}

// Ends a message now, as its timer would.
void EndMessage(TCardDialog *dialog)
{
    dialog->Timer->stop();
    dialog->TimerTimer();
}

bool Called(const std::vector<std::string> &log, const char *name)
{
    return std::any_of(log.begin(), log.end(),
                       [name](const std::string &entry) { return entry.rfind(name, 0) == 0; });
}

std::vector<uint8_t> KeyVector(int64_t key)
{
    const auto k = CardLayout::KeyBytes(key);
    return Bytes(k.begin(), k.end());
}

} // namespace

class TestReaderDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void programThenRead_data();
    void programThenRead();
    void readFailure_data();
    void readFailure();
    void escapeWhileReaderSilent();
    void launcherRefusals_data();
    void launcherRefusals();

private:
    // A fresh simulator with the named reader attached, a new database holding the
    // profiles "Офис" and "Склад" (both inactive), and a new worker.
    bool SetUp(bool nova);
    TSecProfile *Office() const { return frmMain->ProfList.ProfileByName(QStringLiteral("Офис")); }
    TSecProfile *Store() const { return frmMain->ProfList.ProfileByName(QStringLiteral("Склад")); }
    void Present(const TSimCard &card)
    {
        fSim->Field().TakeCard();
        fSim->Field().PutCard(card);
    }
    // Programs the reader for a profile with the activation dialog; true when it closed
    // with the success message.
    void Program(TSecProfile *profile);

    std::unique_ptr<TSimulator> fSim;
    std::unique_ptr<QTemporaryDir> fDir;
};

void TestReaderDialogs::initTestCase()
{
    frmMain = new TfrmMain;
    frmPass = new TfrmPass(frmMain);
    frmReaderActivate = new TfrmReaderActivate(frmMain);
    frmCardRead = new TfrmCardRead(frmMain);
}

void TestReaderDialogs::cleanupTestCase()
{
    delete frmMain; // takes the dialogs with it
    frmMain = nullptr;
    frmPass = nullptr;
    frmReaderActivate = nullptr;
    frmCardRead = nullptr;
}

void TestReaderDialogs::init()
{
    TCardDialog::TimeScale = 1.0;
    Modal::ClearHistory();
    // The fixed waits shrink to a millisecond or two: fast, without spinning the worker.
    Delay::SetHook([](unsigned ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 2u)));
    });
}

bool TestReaderDialogs::SetUp(bool nova)
{
    fSim = std::make_unique<TSimulator>();
    fSim->Attach(!nova, nova);
    fSim->Bind();
    uint32_t serial = 0;
    int32_t number = -1;
    DiscoverReader(serial, number);
    if (ReaderKind != (nova ? READER_NOVA : READER_ALTO))
        return false;
    fDir = std::make_unique<QTemporaryDir>();
    if (!fDir->isValid())
        return false;
    OpenDatabase(fDir->filePath(QStringLiteral("tagor.db3")));
    if (AddProfile(QStringLiteral("Офис"), OfficeSector, QStringLiteral("office"), OfficeKeyA,
                   OfficeKeyB, 2, 1, 0x5A17C93E02D4, 0, 0) != 0 ||
        AddProfile(QStringLiteral("Склад"), OfficeSector, QStringLiteral("store"), StoreKeyA,
                   StoreKeyB, 2, 1, 0x5A17C93E02D4, 0, 0) != 0)
        return false;
    LoadProfiles(frmMain->ProfList);
    if (!Office() || !Store())
        return false;
    frmMain->CurrentProfID = Office()->ID();
    CreateMfrcThread();
    return true;
}

void TestReaderDialogs::cleanup()
{
    frmReaderActivate->hide();
    frmCardRead->hide();
    FreeMfrcThread();
    DatUtils::CloseDatabase();
    frmMain->ProfList.Clear();
    fSim.reset();
    BindMfrc500(nullptr);
    BindRivlink(nullptr);
    fDir.reset();
    Delay::SetHook({});
    ReaderKind = READER_NONE;
    TCardDialog::TimeScale = 1.0;
    QVERIFY(!Modal::PendingAnswers());
}

void TestReaderDialogs::Program(TSecProfile *profile)
{
    if (!profile->Active()) {
        Modal::SetNextExec([profile](QDialog *) {
            frmPass->edtPassword->setText(profile->passwd);
            return int(QDialog::Accepted);
        });
    }
    Modal::SetNextExec([](QDialog *d) {
        d->show();
        return 0;
    });
    frmMain->actPrepareReaderExecute();
}

void TestReaderDialogs::programThenRead_data()
{
    QTest::addColumn<bool>("nova");
    QTest::addColumn<Bytes>("uid");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("expected");

    QTest::newRow("RW-Alto, card 4096, 4-byte UID")
        << false << Uid4 << qint64(4096)
        << QStringLiteral("Карта прочитана:\r\nЗащищенный  номер    = 0x00001000\r\n"
                          "Собственный ID карты = 0xD4C3B2A1");
    QTest::newRow("RW-Alto, 7-byte UID")
        << false << Uid7 << qint64(4096)
        << QStringLiteral("Карта прочитана:\r\nЗащищенный  номер    = 0x00001000\r\n"
                          "Собственный ID карты = 0x66554433221104");
    QTest::newRow("RW-Nova, 7-byte UID, number above 2^31")
        << true << Uid7 << qint64(0x1A2B3C4D5ELL)
        << QStringLiteral("Карта прочитана:\r\nЗащищенный  номер    = 0x2B3C4D5E\r\n"
                          "Собственный ID карты = 0x66554433221104");
}

void TestReaderDialogs::programThenRead()
{
    QFETCH(bool, nova);
    QFETCH(Bytes, uid);
    QFETCH(qint64, number);
    QFETCH(QString, expected);
    QVERIFY(SetUp(nova));
    TSecProfile *office = Office();
    QVERIFY(!office->Active());

    // A card lying on the reader has no effect on the programming.
    const TSimCard card = Issued(uid, OfficeSector, OfficeKeyA, OfficeKeyB, number);
    Present(card);

    // Programming: the launcher asks for the password, the dialog shows the profile.
    Program(office);
    QVERIFY(Modal::History().empty());
    QVERIFY(office->Active());
    TfrmReaderActivate *act = frmReaderActivate;
    QVERIFY(act->isVisible());
    QCOMPARE(act->windowTitle(), QStringLiteral("Активирование считывателя"));
    QCOMPARE(act->edtProfileName->text(), QStringLiteral("Офис"));
    QVERIFY(!act->ImageWait->isVisible());
    QVERIFY(!act->btnClose->isVisible());
    QVERIFY(!(act->windowFlags() & Qt::WindowCloseButtonHint));

    WAIT_MSG(act);
    QCOMPARE(act->lblMsg->text(),
             QStringLiteral("Считыватель запрограммирован для работы с заданным профилем"));
    QCOMPARE(MsgColour(act), QColor(Qt::blue));
    QVERIFY(act->imgOk->isVisible());
    QVERIFY(!act->imgAttention->isVisible());
    QCOMPARE(act->MsgTimeout(), 3000);
    QVERIFY(act->Timer->isActive());
    QVERIFY(mfrcthread->Suspended()); // paused by the result handler
    QCOMPARE(mfrcthread->threadaction.load(), TA_PREPARE_READER);

    // The reader holds the profile: key A and the record (marker, number, sector).
    const uint8_t id = uint8_t(office->ID() & 0xFF);
    if (nova) {
        const auto tagor = fSim->Nova().TagorData();
        QCOMPARE(Bytes(tagor.begin(), tagor.end()), (Bytes{0x77, OfficeSector, id, 0}));
        const auto key = fSim->Nova().StoredKey(0);
        QCOMPARE(Bytes(key.begin(), key.end()), KeyVector(OfficeKeyA));
    } else {
        const auto eeprom = fSim->Alto().Eeprom();
        QCOMPARE(Bytes(eeprom.begin() + 0x70, eeprom.begin() + 0x74),
                 (Bytes{0x77, id, OfficeSector, 0}));
        const auto key = fSim->Alto().StoredKey(0);
        QCOMPARE(Bytes(key.begin(), key.end()), KeyVector(OfficeKeyA));
    }
    // The card was not touched.
    QCOMPARE(fSim->Field().Card()->Dump(), card.Dump());

    // When the message time runs out (its own timer, run short here) the dialog closes.
    act->Timer->start(10);
    QTRY_VERIFY(!act->isVisible());
    QVERIFY(!act->lblMsg->isVisible());
    QVERIFY(mfrcthread->Suspended());

    // Reading: the card is presented anew; the current profile need not be the card's.
    frmMain->CurrentProfID = Store()->ID();
    Present(card);
    QGuiApplication::clipboard()->setText(QStringLiteral("прежний текст"));
    Modal::SetNextExec([](QDialog *d) {
        d->show();
        return 0;
    });
    frmMain->actCardReadExecute();
    QVERIFY(Modal::History().empty());
    TfrmCardRead *read = frmCardRead;
    QVERIFY(read->isVisible());
    QCOMPARE(read->windowTitle(), QStringLiteral("Контрольное чтение карты"));
    QCOMPARE(read->profile, Store());

    WAIT_MSG(read);
    QCOMPARE(read->lblMsg->text(), expected);
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    QCOMPARE(MsgColour(read), QColor(Qt::blue));
    QVERIFY(read->imgOk->isVisible());
    QVERIFY(!read->ImageWait->isVisible());
    QCOMPARE(read->MsgTimeout(), 3000);
    QVERIFY(!read->Memo->isVisible());
    QVERIFY(!mfrcthread->Suspended()); // messages do not pause the reading
    QCOMPARE(mfrcthread->threadaction.load(), TA_READ_CARD);

    // The end of the message: back to waiting, still open, still reading.
    EndMessage(read);
    QVERIFY(read->isVisible());
    QVERIFY(!read->lblMsg->isVisible());
    QVERIFY(read->ImageWait->isVisible());
    QVERIFY(read->ImageWait->IsRunning());

    // Closing pauses the worker; the last result stays on the clipboard.
    QTest::mouseClick(read->btnClose, Qt::LeftButton);
    QVERIFY(!read->isVisible());
    QVERIFY(mfrcthread->Suspended());
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
}

void TestReaderDialogs::readFailure_data()
{
    QTest::addColumn<bool>("programmed");
    QTest::addColumn<int>("card"); // 0 none, 1 of another profile, 2 blank

    QTest::newRow("card of another profile") << true << 1;
    QTest::newRow("blank card") << true << 2;
    QTest::newRow("reader never programmed, no card") << false << 0;
}

void TestReaderDialogs::readFailure()
{
    QFETCH(bool, programmed);
    QFETCH(int, card);
    QVERIFY(SetUp(false));
    if (programmed)
        QCOMPARE(Office()->PrepareReader(), 0);

    QGuiApplication::clipboard()->setText(QStringLiteral("прежний текст"));
    Modal::SetNextExec([](QDialog *d) {
        d->show();
        return 0;
    });
    frmMain->actCardReadExecute();
    // Presented once the worker reads (a card lying there at the worker's first run is
    // put aside until it is presented anew).
    QTRY_VERIFY(Called(fSim->Alto().CallLog(), "PcdReadE2"));
    if (card == 1)
        Present(Issued(Uid4, OfficeSector, StoreKeyA, StoreKeyB, 4096));
    else if (card == 2)
        Present(TSimCard(TSimCard::Type::Classic1K, Uid7));
    TfrmCardRead *read = frmCardRead;
    WAIT_MSG(read);
    QCOMPARE(read->lblMsg->text(), QStringLiteral("Ошибка чтения тестовой карты."));
    QCOMPARE(MsgColour(read), QColor(Qt::red));
    QVERIFY(read->imgAttention->isVisible());
    QVERIFY(!read->imgOk->isVisible());
    QCOMPARE(read->MsgTimeout(), 2000);
    QVERIFY(!mfrcthread->Suspended());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("прежний текст"));

    // Escape closes the dialog and pauses the worker.
    QTest::keyClick(read, Qt::Key_Escape);
    QVERIFY(!read->isVisible());
    QVERIFY(mfrcthread->Suspended());
    // A message that runs out after closing resumes nothing.
    EndMessage(read);
    QVERIFY(mfrcthread->Suspended());
    QVERIFY(!read->isVisible());
}

void TestReaderDialogs::escapeWhileReaderSilent()
{
    QVERIFY(SetUp(true));
    Office()->SetActive(true);
    // The reader answers every attempt with "no card" (neither success nor failure), so
    // the worker keeps trying.
    for (int n = 1; n <= 4000; ++n)
        fSim->Nova().FailCall(n, 0xFFFF);
    Program(Office());
    TfrmReaderActivate *act = frmReaderActivate;
    QVERIFY(act->isVisible());
    auto attempts = [this] {
        const auto log = fSim->Nova().CallLog();
        return std::count_if(log.begin(), log.end(), [](const std::string &s) {
            return s.rfind("InitReaderTagorData", 0) == 0;
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(attempts() >= 3, 15000);
    QVERIFY(!act->lblMsg->isVisible());
    QVERIFY(!mfrcthread->Suspended());

    // Escape closes the dialog and pauses the worker.
    QTest::keyClick(act, Qt::Key_Escape);
    QVERIFY(!act->isVisible());
    QTRY_VERIFY(mfrcthread->Suspended());
    const auto stoppedAt = attempts();
    QTest::qWait(100);
    QVERIFY(attempts() <= stoppedAt + 1); // at most the attempt under way
    QVERIFY(Modal::History().empty());

    // The reader answers again: the operator starts over and the programming succeeds.
    fSim->Nova().ClearFaults();
    Program(Office());
    WAIT_MSG(act);
    QCOMPARE(act->lblMsg->text(), TfrmReaderActivate::SuccessText());
    QVERIFY(mfrcthread->Suspended());
    EndMessage(act);
    QVERIFY(!act->isVisible());
}

void TestReaderDialogs::launcherRefusals_data()
{
    QTest::addColumn<bool>("read"); // the card read launcher, else the activation's
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("caption"); // empty: the dialog opens
    QTest::addColumn<QString>("text");

    const QString noProfile = QStringLiteral("Нет профиля");
    const QString profileError = QStringLiteral("Ошибка профиля");
    const QString notChosen =
        QStringLiteral("Не выбран профиль безопасности или произошла внутренняя ошибка.");
    const QString notActivated =
        QStringLiteral("Профиль не активирован, активация считывателя невозможна.");

    QTest::newRow("activate: no reader")
        << false << QStringLiteral("no reader") << QStringLiteral("Нет считывателя")
        << QStringLiteral("Нет доступного или подключенного считывателя");
    QTest::newRow("activate: empty list")
        << false << QStringLiteral("empty") << noProfile
        << QStringLiteral("Нет профиля безопасности для активирования");
    QTest::newRow("activate: no current profile")
        << false << QStringLiteral("none") << noProfile << notChosen;
    QTest::newRow("activate: Пустой")
        << false << QStringLiteral("empty profile") << profileError
        << QStringLiteral("Для данного профиля активирование считывателя невозможно.");
    QTest::newRow("activate: password cancelled")
        << false << QStringLiteral("cancel") << profileError << notActivated;
    QTest::newRow("activate: wrong password")
        << false << QStringLiteral("wrong") << profileError << notActivated;
    QTest::newRow("read: no reader")
        << true << QStringLiteral("no reader") << QStringLiteral("Нет считывателя")
        << QStringLiteral("Нет доступного или подключенного считывателя");
    QTest::newRow("read: empty list")
        << true << QStringLiteral("empty") << noProfile
        << QStringLiteral("Нет профиля безопасности для работы с картой");
    QTest::newRow("read: no current profile")
        << true << QStringLiteral("none") << noProfile << notChosen;
    QTest::newRow("read: Пустой, not active, opens")
        << true << QStringLiteral("empty profile") << QString() << QString();
}

void TestReaderDialogs::launcherRefusals()
{
    QFETCH(bool, read);
    QFETCH(QString, situation);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QVERIFY(SetUp(false));

    if (situation == QLatin1String("no reader"))
        ReaderKind = READER_NONE;
    else if (situation == QLatin1String("empty"))
        frmMain->ProfList.Clear();
    else if (situation == QLatin1String("none"))
        frmMain->CurrentProfID = -1;
    else if (situation == QLatin1String("empty profile"))
        frmMain->CurrentProfID = 1;
    else if (situation == QLatin1String("cancel"))
        Modal::SetNextExec([](QDialog *) { return int(QDialog::Rejected); });
    else if (situation == QLatin1String("wrong"))
        Modal::SetNextExec([](QDialog *) {
            frmPass->edtPassword->setText(QStringLiteral("не тот"));
            return int(QDialog::Accepted);
        });

    if (!caption.isEmpty())
        Modal::SetNextAnswer(QMessageBox::Ok); // the refusal's box
    bool opened = false;
    Modal::SetNextExec([&opened](QDialog *) {
        opened = true;
        return 0;
    });
    if (read)
        frmMain->actCardReadExecute();
    else
        frmMain->actPrepareReaderExecute();

    if (caption.isEmpty()) {
        QVERIFY(opened);
        QVERIFY(Modal::History().empty());
        QCOMPARE(frmCardRead->profile, frmMain->ProfList.ProfileByID(1));
    } else {
        QVERIFY(!opened);
        QCOMPARE(Modal::History().size(), size_t(1));
        QCOMPARE(Modal::History().back().icon, QMessageBox::Critical);
        QCOMPARE(Modal::History().back().caption, caption);
        QCOMPARE(Modal::History().back().text, text);
        // Take up the handler the launcher left unused.
        QDialog spare;
        Modal::Exec(&spare);
    }
    if (Office())
        QVERIFY(!Office()->Active());
}

QTEST_MAIN(TestReaderDialogs)
#include "tst_readerdialogs.moc"
