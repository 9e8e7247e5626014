// The virtual reader window: blank cards and their files, putting cards on the reader and
// taking them off, the file kept current (and replaced whole) while the worker writes the
// card, the decoded trailers, deleting card files.
#include "app/modal.h"
#include "cards/cardlayout.h"
#include "dialogs/virtualreader.h"
#include "reader/delay.h"
#include "reader/readerkind.h"
#include "reader/sim/simbinding.h"
#include "reader/thread/thread.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

using namespace VirtualReader;

namespace {

using Bytes = std::vector<uint8_t>;

// Receives the worker's events.
class TEventSink : public QObject
{
public:
    std::vector<int> Types;

protected:
    void customEvent(QEvent *event) override { Types.push_back(int(event->type())); }
};

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

ino_t Inode(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_ino;
}

QByteArray Block(const QByteArray &dump, int block)
{
    return dump.mid(block * 16, 16);
}

QByteArray ToBytes(const std::array<uint8_t, 16> &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), 16);
}

} // namespace

class TestVirtualReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void createBlankCard_data();
    void createBlankCard();
    void createRefusals_data();
    void createRefusals();
    void putOnAndTakeOff();
    void workerWriteRewritesFileWhole();
    void describeTrailer_data();
    void describeTrailer();
    void fileNames();
    void deleteCardFile();
    void closingKeepsWindowReachable();

private:
    void ClearFolder();

    std::unique_ptr<QTemporaryDir> fTemp;
    std::unique_ptr<TSimulator> fSim;
    std::unique_ptr<TfrmVirtualReader> fWindow;
};

void TestVirtualReader::initTestCase()
{
    // The worker's fixed waits become short yields.
    Delay::SetHook([](unsigned) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    fTemp = std::make_unique<QTemporaryDir>();
    QVERIFY(fTemp->isValid());
    fSim = std::make_unique<TSimulator>();
    fSim->Attach(true, false);
    fSim->Bind();
    ReaderKind = READER_ALTO;
    CreateMfrcThread();
    // Let the worker's first run (its check for a card already lying on the reader) pass
    // with the field empty, so the cards put on later are taken up at once.
    mfrcthread->Resume();
    auto firstRunDone = [this] {
        const auto log = fSim->Alto().CallLog();
        return std::any_of(log.begin(), log.end(), [](const std::string &call) {
            return call.rfind("Mf500PiccActivateIdle", 0) == 0;
        });
    };
    QTRY_VERIFY(firstRunDone());
    mfrcthread->Suspend();
    fWindow = std::make_unique<TfrmVirtualReader>(
        fSim->Field(), CardsFolderFor(fTemp->filePath(QStringLiteral("tagor.db3"))));
    QCOMPARE(fWindow->CardsDir(), fTemp->filePath(QStringLiteral("tagor.cards")));
    QVERIFY(QFileInfo(fWindow->CardsDir()).isDir());
    QCOMPARE(fWindow->windowTitle(), QStringLiteral("Виртуальный считыватель"));
    QVERIFY(fWindow->isWindow());
    fWindow->show();
}

void TestVirtualReader::init()
{
    fSim->Field().TakeCard();
    ClearFolder();
    fWindow->RefreshCards();
    fWindow->cbRandomUid->setChecked(true);
    fWindow->cbxCardType->setCurrentIndex(0);
    fWindow->cbxUidLength->setCurrentIndex(0);
    Modal::ClearHistory();
}

void TestVirtualReader::cleanupTestCase()
{
    FreeMfrcThread();
    fWindow.reset();
    fSim.reset();
    Delay::SetHook({});
}

void TestVirtualReader::ClearFolder()
{
    QDir dir(fWindow->CardsDir());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

void TestVirtualReader::createBlankCard_data()
{
    QTest::addColumn<int>("type"); // 0: 1K, 1: 4K
    QTest::addColumn<int>("uidLength");
    QTest::addColumn<QString>("typed"); // empty: random
    QTest::addColumn<int>("size");

    QTest::newRow("1K random 4-byte UID") << 0 << 4 << QString() << 1024;
    QTest::newRow("1K random 7-byte UID") << 0 << 7 << QString() << 1024;
    QTest::newRow("4K typed 7-byte UID")
        << 1 << 7 << QStringLiteral("04 11 22 33 44 55 66") << 4096;
    QTest::newRow("1K typed 4-byte UID, lower case")
        << 0 << 4 << QStringLiteral("a1b2c3d4") << 1024;
}

void TestVirtualReader::createBlankCard()
{
    QFETCH(int, type);
    QFETCH(int, uidLength);
    QFETCH(QString, typed);
    QFETCH(int, size);

    fWindow->cbxCardType->setCurrentIndex(type);
    fWindow->cbxUidLength->setCurrentIndex(uidLength == 7 ? 1 : 0);
    fWindow->cbRandomUid->setChecked(typed.isEmpty());
    QCOMPARE(fWindow->edtUid->isEnabled(), !typed.isEmpty());
    fWindow->edtUid->setText(typed);

    const auto uid = fWindow->btnCreateClick();
    QVERIFY(uid.has_value());
    QCOMPARE(int(uid->size()), uidLength);
    if (!typed.isEmpty())
        QCOMPARE(*uid, *ParseUid(typed, uidLength));

    const QString path = fWindow->CardPath(*uid);
    QCOMPARE(QFileInfo(path).fileName(), CardFileName(*uid));
    const QByteArray dump = ReadAll(path);
    QCOMPARE(dump.size(), size);

    // Factory transport configuration: every trailer FF..FF FF 07 80 69 FF..FF, data zero.
    const auto transport = ToBytes(CardLayout::TransportTrailer());
    const auto card = TSimCard::FromDump(Bytes(dump.begin(), dump.end()), uidLength);
    QVERIFY(card.has_value());
    for (int b = 1; b < card->BlockCount(); ++b) {
        if (TSimCard::IsTrailer(b))
            QCOMPARE(Block(dump, b), transport);
        else
            QCOMPARE(Block(dump, b), QByteArray(16, '\0'));
    }
    QCOMPARE(dump.left(uidLength),
             QByteArray(reinterpret_cast<const char *>(uid->data()), uidLength));
    if (uidLength == 4)
        QCOMPARE(uint8_t(dump[4]), uint8_t((*uid)[0] ^ (*uid)[1] ^ (*uid)[2] ^ (*uid)[3]));

    // Listed and selected, its blocks shown.
    QCOMPARE(fWindow->lvCards->count(), 1);
    QCOMPARE(fWindow->SelectedUid(), uid);
    QVERIFY(fWindow->memDump->toPlainText().contains(QStringLiteral("Трейлер, блок 3 (001)")));
}

void TestVirtualReader::createRefusals_data()
{
    QTest::addColumn<int>("uidLength");
    QTest::addColumn<QString>("typed");

    QTest::newRow("too short") << 4 << QStringLiteral("A1B2C3");
    QTest::newRow("7 bytes asked, 4 given") << 7 << QStringLiteral("A1B2C3D4");
    QTest::newRow("not hex") << 4 << QStringLiteral("A1B2C3DG");
    QTest::newRow("cascade tag first") << 4 << QStringLiteral("88112233");
    QTest::newRow("same UID twice") << 4 << QStringLiteral("0A0B0C0D");
}

void TestVirtualReader::createRefusals()
{
    QFETCH(int, uidLength);
    QFETCH(QString, typed);

    const Bytes existing = {0x0A, 0x0B, 0x0C, 0x0D};
    QVERIFY(TSimCard(TSimCard::Type::Classic4K, existing).SaveFile(fWindow->CardPath(existing)));
    const QByteArray before = ReadAll(fWindow->CardPath(existing));
    fWindow->RefreshCards();

    fWindow->cbxUidLength->setCurrentIndex(uidLength == 7 ? 1 : 0);
    fWindow->cbRandomUid->setChecked(false);
    fWindow->edtUid->setText(typed);
    QVERIFY(!fWindow->btnCreateClick().has_value());
    QCOMPARE(QDir(fWindow->CardsDir()).entryList(QDir::Files), QStringList{CardFileName(existing)});
    QCOMPARE(ReadAll(fWindow->CardPath(existing)), before); // the 4K card was not replaced
    QVERIFY(!fWindow->lblStatus->text().isEmpty());
}

void TestVirtualReader::putOnAndTakeOff()
{
    fWindow->cbRandomUid->setChecked(false);
    fWindow->edtUid->setText(QStringLiteral("11223344"));
    const auto first = fWindow->btnCreateClick();
    fWindow->edtUid->setText(QStringLiteral("55667788"));
    const auto second = fWindow->btnCreateClick();
    QVERIFY(first && second);

    QVERIFY(fWindow->SelectCard(*first));
    QTest::mouseClick(fWindow->btnPutOn, Qt::LeftButton);
    QVERIFY(fSim->Field().HasCard());
    QCOMPARE(fSim->Field().Card()->Uid(), *first);
    QVERIFY(fWindow->lblField->text().contains(QStringLiteral("11 22 33 44")));
    QVERIFY(fWindow->btnTakeOff->isEnabled());

    // Putting another card on takes the first one off: one card at a time.
    QVERIFY(fWindow->SelectCard(*second));
    QTest::mouseClick(fWindow->btnPutOn, Qt::LeftButton);
    QCOMPARE(fSim->Field().Card()->Uid(), *second);

    // The card on the reader answers the readers.
    uint8_t atq[2], sak, uid[10], uidLen = 0;
    QCOMPARE(fSim->Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &uidLen), 0);
    QCOMPARE(int(uidLen), 4);
    QCOMPARE(Bytes(uid, uid + 4), *second);

    QTest::mouseClick(fWindow->btnTakeOff, Qt::LeftButton);
    QVERIFY(!fSim->Field().HasCard());
    QCOMPARE(fWindow->lblField->text(), QStringLiteral("Считыватель пуст"));
    QVERIFY(!fWindow->btnTakeOff->isEnabled());
}

void TestVirtualReader::workerWriteRewritesFileWhole()
{
    fWindow->cbRandomUid->setChecked(false);
    fWindow->edtUid->setText(QStringLiteral("CAFE0102"));
    const auto uid = fWindow->btnCreateClick();
    QVERIFY(uid);
    const QString path = fWindow->CardPath(*uid);
    // A handle on the blank card's file: a file replaced by a rename leaves it on the old
    // contents, a file rewritten in place would show the new ones through it.
    QFile before(path);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray blank = before.readAll();
    const ino_t inodeBefore = Inode(path);
    QVERIFY(inodeBefore != 0);
    QTest::mouseClick(fWindow->btnPutOn, Qt::LeftButton);
    QVERIFY(fSim->Field().HasCard());

    TSecProfile profile;
    profile.Sector = 5;
    profile.KeyA = 0x112233445566LL;
    profile.KeyB = 0xA1A2A3A4A5A6LL;
    TEventSink sink;
    QSignalSpy saved(fWindow.get(), &TfrmVirtualReader::cardSaved);

    mfrcthread->hwnd = &sink;
    mfrcthread->profile0 = &profile;
    mfrcthread->cardnumber = 4096;
    mfrcthread->threadaction = TA_WRITE_CARD;
    mfrcthread->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(std::find(sink.Types.begin(), sink.Types.end(), int(CARD_PROCESSED)) !=
                                 sink.Types.end(),
                             10000);
    mfrcthread->Suspend();
    mfrcthread->threadaction = 0;
    mfrcthread->hwnd = nullptr;

    // Number block and trailer are two writes: the file follows each of them.
    QTRY_VERIFY(saved.count() >= 2);
    QCOMPARE(saved.last().at(0).toString(), path);
    const QByteArray dump = ReadAll(path);
    const auto live = fSim->Field().Card();
    QVERIFY(live.has_value());
    QCOMPARE(dump, QByteArray(reinterpret_cast<const char *>(live->Dump().data()), 1024));
    QCOMPARE(Block(dump, 20), ToBytes(CardLayout::NumberBlock(4096)));
    QCOMPARE(Block(dump, 23), ToBytes(CardLayout::UserTrailer(profile.KeyA, profile.KeyB)));

    // Replaced by a rename, never rewritten in place; no temporary file left behind.
    QVERIFY(Inode(path) != inodeBefore);
    QVERIFY(before.seek(0));
    QCOMPARE(before.readAll(), blank);
    before.close();
    QCOMPARE(QDir(fWindow->CardsDir()).entryList(QDir::Files | QDir::Hidden),
             QStringList{CardFileName(*uid)});

    // The view shows the card as written, its user trailer in words.
    const QString view = fWindow->memDump->toPlainText();
    QVERIFY(view.contains(QStringLiteral("   20: 00 10 00 00 10 00")));
    QVERIFY2(view.contains(QStringLiteral("Ключ A: 11 22 33 44 55 66; ключ B: A1 A2 A3 A4 A5 A6; "
                                          "биты доступа: 78 77 88; байт 9: 69")),
             qPrintable(view));

    // Taken off and put on again, the card comes back from its file as it was left.
    QTest::mouseClick(fWindow->btnTakeOff, Qt::LeftButton);
    QVERIFY(fWindow->SelectCard(*uid));
    QTest::mouseClick(fWindow->btnPutOn, Qt::LeftButton);
    QCOMPARE(
        Block(QByteArray(reinterpret_cast<const char *>(fSim->Field().Card()->Dump().data()), 1024),
              20),
        ToBytes(CardLayout::NumberBlock(4096)));
}

void TestVirtualReader::describeTrailer_data()
{
    QTest::addColumn<QByteArray>("access"); // bytes 6, 7, 8
    QTest::addColumn<int>("firstBlock");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<QStringList>("expected"); // the lines after the keys line

    QTest::newRow("user trailer 78 77 88")
        << QByteArray::fromHex("787788") << 4 << 4
        << QStringList{
               QStringLiteral("Блок 4 (100): чтение — ключ A или B, запись — ключ B"),
               QStringLiteral("Блок 5 (100): чтение — ключ A или B, запись — ключ B"),
               QStringLiteral("Блок 6 (100): чтение — ключ A или B, запись — ключ B"),
               QStringLiteral("Трейлер, блок 7 (011): ключ A: чтение — никогда, запись — ключ B; "
                              "биты доступа: чтение — ключ A или B, запись — ключ B; "
                              "ключ B: чтение — никогда, запись — ключ B")};
    QTest::newRow("transport FF 07 80")
        << QByteArray::fromHex("FF0780") << 0 << 4
        << QStringList{
               QStringLiteral("Блок 0 (000): чтение — ключ A или B, запись — ключ A или B, "
                              "увеличение и уменьшение — ключ A или B"),
               QStringLiteral("Блок 1 (000): чтение — ключ A или B, запись — ключ A или B, "
                              "увеличение и уменьшение — ключ A или B"),
               QStringLiteral("Блок 2 (000): чтение — ключ A или B, запись — ключ A или B, "
                              "увеличение и уменьшение — ключ A или B"),
               QStringLiteral("Трейлер, блок 3 (001): ключ A: чтение — никогда, запись — ключ A; "
                              "биты доступа: чтение — ключ A, запись — ключ A; "
                              "ключ B: чтение — ключ A, запись — ключ A "
                              "(ключ B читается, поэтому ключом не служит)")};
    // Groups of five blocks in the large sectors of a 4K card; mixed conditions
    // (data 010, 101, 111; trailer 110).
    const auto mixed = TSimCard::EncodeAccessBits(2, 5, 7, 6);
    QTest::newRow("4K large sector, mixed")
        << QByteArray(reinterpret_cast<const char *>(mixed.data()), 3) << 128 << 16
        << QStringList{
               QStringLiteral("Блоки 128–132 (010): чтение — ключ A или B, запись — никогда"),
               QStringLiteral("Блоки 133–137 (101): чтение — ключ B, запись — никогда"),
               QStringLiteral("Блоки 138–142 (111): чтение — никогда, запись — никогда"),
               QStringLiteral(
                   "Трейлер, блок 143 (110): ключ A: чтение — никогда, запись — никогда; "
                   "биты доступа: чтение — ключ A или B, запись — никогда; "
                   "ключ B: чтение — никогда, запись — никогда")};
    QTest::newRow("complement broken")
        << QByteArray::fromHex("787789") << 4 << 4
        << QStringList{QStringLiteral(
               "Биты доступа не сходятся со своими дополнениями: сектор заблокирован навсегда")};
}

void TestVirtualReader::describeTrailer()
{
    QFETCH(QByteArray, access);
    QFETCH(int, firstBlock);
    QFETCH(int, blocks);
    QFETCH(QStringList, expected);

    uint8_t trailer[16] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0,    0,
                           0,    0x69, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    std::memcpy(trailer + 6, access.constData(), 3);
    const QStringList lines = DescribeTrailer(trailer, firstBlock, blocks);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), QStringLiteral("Ключ A: 12 34 56 78 9A BC; ключ B: A1 A2 A3 A4 A5 A6; "
                                           "биты доступа: ") +
                                HexBytes(trailer + 6, 3) + QStringLiteral("; байт 9: 69"));
    QCOMPARE(lines.mid(1), expected);
}

void TestVirtualReader::fileNames()
{
    const Bytes uid7 = {0x04, 0xA1, 0x0B, 0x33, 0x44, 0x55, 0xF6};
    QCOMPARE(CardFileName(uid7), QStringLiteral("04A10B334455F6.mfd"));
    QCOMPARE(UidFromFileName(QStringLiteral("04A10B334455F6.mfd")), std::optional<Bytes>(uid7));
    QCOMPARE(UidFromFileName(QStringLiteral("a1b2c3d4.mfd")),
             std::optional<Bytes>(Bytes{0xA1, 0xB2, 0xC3, 0xD4}));
    QVERIFY(!UidFromFileName(QStringLiteral("A1B2C3.mfd")));
    QVERIFY(!UidFromFileName(QStringLiteral("A1B2C3D4.mfd.tmp")));
    QVERIFY(!UidFromFileName(QStringLiteral("A1B2C3D4E5.mfd")));

    // A random UID never starts a cascade level with the tag 0x88 and is never all zero.
    for (int i = 0; i < 200; ++i) {
        const Bytes four = RandomUid(4);
        QCOMPARE(four.size(), size_t(4));
        QVERIFY(four[0] != 0x88);
        const Bytes seven = RandomUid(7);
        QCOMPARE(seven.size(), size_t(7));
        QVERIFY(seven[0] != 0x88 && seven[3] != 0x88);
    }

    // A file whose name is not a UID is not listed; a 7-byte card whose byte 4 happens to
    // look like a BCC still loads with its 7-byte UID (the name says so).
    QFile junk(QDir(fWindow->CardsDir()).filePath(QStringLiteral("notes.mfd")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.close();
    const Bytes tricky = {0x04, 0x01, 0x02, 0x03, 0x04 ^ 0x01 ^ 0x02 ^ 0x03, 0x10, 0x20};
    QVERIFY(TSimCard(TSimCard::Type::Classic1K, tricky).SaveFile(fWindow->CardPath(tricky)));
    fWindow->RefreshCards();
    QCOMPARE(fWindow->lvCards->count(), 1);
    QVERIFY(fWindow->SelectCard(tricky));
    QTest::mouseClick(fWindow->btnPutOn, Qt::LeftButton);
    QCOMPARE(fSim->Field().Card()->Uid(), tricky);
}

void TestVirtualReader::deleteCardFile()
{
    const auto uid = fWindow->btnCreateClick();
    QVERIFY(uid);
    const QString path = fWindow->CardPath(*uid);

    // Not while it lies on the reader.
    QTest::mouseClick(fWindow->btnPutOn, Qt::LeftButton);
    QTest::mouseClick(fWindow->btnDelete, Qt::LeftButton);
    QVERIFY(QFile::exists(path));
    QVERIFY(Modal::History().empty());
    QTest::mouseClick(fWindow->btnTakeOff, Qt::LeftButton);

    // Asked first; "No" keeps the file.
    Modal::SetNextAnswer(QMessageBox::No);
    QTest::mouseClick(fWindow->btnDelete, Qt::LeftButton);
    QCOMPARE(Modal::History().size(), size_t(1));
    QCOMPARE(Modal::History().back().icon, QMessageBox::Question);
    QVERIFY(QFile::exists(path));

    Modal::SetNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(fWindow->btnDelete, Qt::LeftButton);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(fWindow->lvCards->count(), 0);
    QVERIFY(!fWindow->btnDelete->isEnabled());
    QVERIFY(fWindow->memDump->toPlainText().isEmpty());
}

void TestVirtualReader::closingKeepsWindowReachable()
{
    // Nothing in the program shows the window again once it is gone, and without it no
    // card can be put on the simulated reader: its close box only minimises it.
    QVERIFY(fWindow->isVisible());
    QVERIFY(!fWindow->close());
    QVERIFY(fWindow->isVisible());
    QVERIFY(fWindow->isMinimized());
    fWindow->showNormal();
    QVERIFY(!fWindow->isMinimized());
}

QTEST_MAIN(TestVirtualReader)
#include "tst_virtualreader.moc"
