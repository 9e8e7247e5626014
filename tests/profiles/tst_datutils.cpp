#include "profiles/DatUtils.h"
#include "profiles/reportmodel.h"

#include <QtTest>

#include <sqlite3.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

const QString PlainEmpty =
    QStringLiteral("1:0000FFFFFFFFFFFF:0000FFFFFFFFFFFF:1:0000FFFFFFFFFFFF:mivola");
const QString PlainTransport =
    QStringLiteral("1:00005A17C93E02D4:00008E2B61F4D907:1:0000FFFFFFFFFFFF:mivola");

QString Coded(const QString &plain)
{
    return TSecProfile::EncodeStr(plain, KeyDataCodingKey);
}

// The time cell as the lists show it under the C locale.
QString CTime(int h, int m, int s)
{
    return QTime(h, m, s).toString(QStringLiteral("HH:mm:ss"));
}

// The message of the database error that f raises.
QString Raised(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ESQLiteException &e) {
        return e.Message();
    }
    return QStringLiteral("<nothing raised>");
}

} // namespace

class TestDatUtils : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path;
    QList<QPair<QString, QString>> messages;

    // A second connection, as another copy of the program would have.
    std::unique_ptr<TSQLiteDatabase> Peek() { return std::make_unique<TSQLiteDatabase>(path); }

    QString Scalar(const QString &sql)
    {
        auto db = Peek();
        auto t = db->GetTable(sql);
        return t->Eof() ? QString() : t->FieldAsString(0);
    }

    void Exec(const QString &sql, const TSQLiteParams &params = {})
    {
        auto db = Peek();
        db->ExecSQL(sql, params);
    }

    // Cards written directly, with texts of our choice.
    void InsertCardRaw(const TSQLiteValue &prof, const TSQLiteValue &date,
                       const TSQLiteValue &serial, const TSQLiteValue &num,
                       const TSQLiteValue &master)
    {
        Exec(QStringLiteral("INSERT INTO Cards(PROF_ID, CARD_DATE, SERIAL, CARD_NUM, MASTER) "
                            "VALUES (?, ?, ?, ?, ?)"),
             {prof, date, serial, num, master});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        DatUtils::SetMessageHandler([this](const QString &text, const QString &caption) {
            messages.append({text, caption});
        });
    }

    void init()
    {
        QLocale::setDefault(QLocale::c());
        messages.clear();
        path = dir.filePath(
            QStringLiteral("%1.db3").arg(QString::fromLatin1(QTest::currentTestFunction())));
        if (QTest::currentDataTag())
            path = dir.filePath(QStringLiteral("%1-%2.db3")
                                    .arg(QString::fromLatin1(QTest::currentTestFunction()))
                                    .arg(qHash(QString::fromUtf8(QTest::currentDataTag()))));
        QFile::remove(path);
    }

    void cleanup()
    {
        DatUtils::CloseDatabase();
        QLocale::setDefault(QLocale::c());
    }

    void cleanupTestCase() { DatUtils::SetMessageHandler({}); }

    void defaultPath()
    {
        QCOMPARE(DatUtils::DefaultDatabasePath(),
                 QCoreApplication::applicationFilePath() + QStringLiteral(".db3"));
    }

    void seededDatabase()
    {
        OpenDatabase(path);
        QVERIFY(DatUtils::IsDatabaseOpen());
        QCOMPARE(DatUtils::DatabasePath(), path);
        QCOMPARE(
            Scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'Profiles'")),
            QStringLiteral(
                "CREATE TABLE Profiles ([ID_PROF] INTEGER PRIMARY KEY, [CAPTION] VARCHAR (64), "
                "[PREV_PROF_ID] INTEGER, [MODIF_DATE] VARCHAR (32), [KEYDATA] VARCHAR (128), "
                "[USE_ORIG_CARD_ID] INTEGER, [PROTECTED] INTEGER)"));
        QCOMPARE(Scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'Cards'")),
                 QStringLiteral(
                     "CREATE TABLE Cards ([ID_CARD] INTEGER PRIMARY KEY, [CARD_DATE] VARCHAR (32), "
                     "[PROF_ID] INTEGER, [SERIAL] INT64, [CARD_NUM] INT64, [MASTER] INTEGER)"));
        QCOMPARE(
            Scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
                                  "tbl_name = 'Cards'")),
            QStringLiteral("2"));

        auto db = Peek();
        auto t = db->GetTable(
            QStringLiteral("SELECT ID_PROF, CAPTION, PREV_PROF_ID, typeof(PREV_PROF_ID), "
                           "MODIF_DATE, typeof(MODIF_DATE), KEYDATA, USE_ORIG_CARD_ID, PROTECTED "
                           "FROM Profiles ORDER BY ID_PROF"));
        QCOMPARE(t->Count(), 2);
        const double now = NowAsDateTime();
        const QString captions[] = {QStringLiteral("Пустой"), QStringLiteral("Транспортный")};
        const QString keys[] = {PlainEmpty, PlainTransport};
        for (int i = 0; i < 2; ++i, t->Next()) {
            QCOMPARE(t->FieldAsInteger(0), i + 1);
            QCOMPARE(t->FieldAsString(1), captions[i]);
            QCOMPARE(t->FieldAsInteger(2), i); // -1 is stored as 0
            QCOMPARE(t->FieldAsString(3), QStringLiteral("integer"));
            double date = 0;
            QVERIFY(DatUtils::TryNumberTextToDateTime(t->FieldAsString(4), date));
            QVERIFY(qAbs(date - now) < 1.0 / 24);
            QCOMPARE(t->FieldAsString(5), QStringLiteral("text"));
            QCOMPARE(t->FieldAsString(6), Coded(keys[i]));
            QCOMPARE(TSecProfile::DecodeStr(t->FieldAsString(6), KeyDataCodingKey), keys[i]);
            QCOMPARE(t->FieldAsInteger(7), 0);
            QCOMPARE(t->FieldAsInteger(8), 1);
        }
        QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM Cards")), QStringLiteral("0"));
        QCOMPARE(GetMaxCardNum(), int64_t(4096));

        TSecProfileList list;
        QVERIFY(LoadProfiles(list));
        QCOMPARE(list.Count(), 2);
        QCOMPARE(list[0]->ID(), 1);
        QCOMPARE(list[1]->Caption, QStringLiteral("Транспортный"));
        QCOMPARE(list[1]->PrevID(), 1);
        QCOMPARE(list[1]->KeyA, int64_t(0x5A17C93E02D4));
        QCOMPARE(list[1]->KeyB, int64_t(0x8E2B61F4D907));
        QCOMPARE(list[1]->srcKeyValue, int64_t(0xFFFFFFFFFFFF));
        QCOMPARE(list[1]->passwd, QStringLiteral("mivola"));
        QCOMPARE(list[1]->IsReadOnly(), 1);
        QVERIFY(!list[0]->Active());
        QVERIFY(messages.isEmpty());

        // an existing file is opened as it is: not seeded again
        DatUtils::CloseDatabase();
        OpenDatabase(path);
        QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM Profiles")), QStringLiteral("2"));
    }

    void getMaxCardNum_data()
    {
        QTest::addColumn<QList<qint64>>("numbers");
        QTest::addColumn<qint64>("next");
        QTest::newRow("no card") << QList<qint64>{} << qint64(4096);
        QTest::newRow("0, 4096, 5000") << QList<qint64>{0, 4096, 5000} << qint64(5001);
        QTest::newRow("only zeros") << QList<qint64>{0, 0, 0} << qint64(4096);
        QTest::newRow("4095") << QList<qint64>{4095} << qint64(4096);
        QTest::newRow("4096") << QList<qint64>{4096} << qint64(4097);
        QTest::newRow("negative") << QList<qint64>{-7} << qint64(4096);
        QTest::newRow("above 2^32: low 32 bits")
            << QList<qint64>{5000000000LL} << qint64(705032705);
        QTest::newRow("above 2^32, low bits small")
            << QList<qint64>{0x100000FFFLL, 5000} << qint64(4096);
        QTest::newRow("2^31 reads negative") << QList<qint64>{0x80000000LL} << qint64(4096);
        QTest::newRow("2^31-1 wraps") << QList<qint64>{0x7FFFFFFFLL} << qint64(-2147483648LL);
    }

    void getMaxCardNum()
    {
        QFETCH(QList<qint64>, numbers);
        QFETCH(qint64, next);
        OpenDatabase(path);
        for (qint64 n : numbers)
            QCOMPARE(AddCard(2, 0, 0x04A1B2C3 + n, n), 0);
        QCOMPARE(GetMaxCardNum(), next);
    }

    void captionCut_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("stored");
        const QString ya(1, QChar(0x044F));
        QTest::newRow("31 Cyrillic (62 bytes)") << ya.repeated(31) << ya.repeated(31);
        QTest::newRow("32 Cyrillic (64 bytes)") << ya.repeated(32) << ya.repeated(31);
        QTest::newRow("100 Cyrillic") << ya.repeated(100) << ya.repeated(31);
        QTest::newRow("63 ASCII") << QString(63, QLatin1Char('a')) << QString(63, QLatin1Char('a'));
        QTest::newRow("64 ASCII") << QString(64, QLatin1Char('a')) << QString(63, QLatin1Char('a'));
        QTest::newRow("62 ASCII + Cyrillic")
            << QString(62, QLatin1Char('a')) + ya << QString(62, QLatin1Char('a'));
        QTest::newRow("61 ASCII + Cyrillic")
            << QString(61, QLatin1Char('a')) + ya << QString(61, QLatin1Char('a')) + ya;
        QTest::newRow("59 ASCII + emoji (63 bytes)")
            << QString(59, QLatin1Char('a')) + QStringLiteral("\U0001F511")
            << QString(59, QLatin1Char('a')) + QStringLiteral("\U0001F511");
        QTest::newRow("60 ASCII + emoji (64 bytes)")
            << QString(60, QLatin1Char('a')) + QStringLiteral("\U0001F511")
            << QString(60, QLatin1Char('a'));
        QTest::newRow("61 ASCII + emoji")
            << QString(61, QLatin1Char('a')) + QStringLiteral("\U0001F511")
            << QString(61, QLatin1Char('a'));
    }

    void captionCut()
    {
        QFETCH(QString, caption);
        QFETCH(QString, stored);
        OpenDatabase(path);
        QCOMPARE(AddProfile(caption, 3, QStringLiteral("pw"), 1, 2, 2, 1, 3, 0, 0), 0);
        QVERIFY(Scalar(QStringLiteral(
                           "SELECT length(CAST(CAPTION AS BLOB)) FROM Profiles WHERE ID_PROF = 3"))
                    .toInt() <= 63);
        TSecProfileList list;
        QVERIFY(LoadProfiles(list));
        QCOMPARE(list.ProfileByID(3)->Caption, stored);
        QCOMPARE(QString::fromUtf8(DatUtils::CaptionToStored(caption)), stored);
    }

    void captionWithQuotes()
    {
        OpenDatabase(path);
        const QString caption = QStringLiteral("a \"b\" 'c'\"); DROP TABLE Cards; --");
        QCOMPARE(AddProfile(caption, 5, QStringLiteral("p\"w'"), 0x0A0B0C0D0E0F, 0x010203040506, -1,
                            1, 0xFFFFFFFFFFFF, 1, 0),
                 0);
        QCOMPARE(Scalar(QStringLiteral("SELECT CAPTION FROM Profiles WHERE ID_PROF = 3")), caption);
        QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'Cards'")),
                 QStringLiteral("1"));
        TSecProfileList list;
        QVERIFY(LoadProfiles(list));
        TSecProfile *p = list.ProfileByName(caption);
        QVERIFY(p);
        QCOMPARE(p->ID(), 3);
        QCOMPARE(p->PrevID(), 0); // stored with PrevID -1
        QCOMPARE(p->passwd, QStringLiteral("p\"w'"));
        QCOMPARE(p->UseOriginalId(), 1);
        QCOMPARE(int(p->Sector), 5);
        QCOMPARE(p->KeyA, int64_t(0x0A0B0C0D0E0F));
    }

    void dateNumberText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("C noon") << QStringLiteral("C") << 46000.5 << QStringLiteral("46000.5");
        QTest::newRow("ru noon") << QStringLiteral("ru_RU") << 46000.5 << QStringLiteral("46000,5");
        QTest::newRow("ru whole day")
            << QStringLiteral("ru_RU") << 46000.0 << QStringLiteral("46000");
        QTest::newRow("de 15 digits") << QStringLiteral("de_DE") << 46000.123456789012345
                                      << QStringLiteral("46000,123456789");
        QTest::newRow("C before 1899") << QStringLiteral("C") << -1.25 << QStringLiteral("-1.25");
    }

    void dateNumberText()
    {
        QFETCH(QString, locale);
        QFETCH(double, value);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(DatUtils::DateTimeToNumberText(value), text);
        // read back under either locale
        for (const QString &reader : {QStringLiteral("C"), QStringLiteral("ru_RU")}) {
            QLocale::setDefault(QLocale(reader));
            double back = 0;
            QVERIFY(DatUtils::TryNumberTextToDateTime(text, back));
            QVERIFY(qAbs(back - value) < 1e-9);
        }
        double bad = 0;
        for (const char *t : {"", "abc", "46000,5x", "1,2,3", "1e400", "nan"})
            QVERIFY2(!DatUtils::TryNumberTextToDateTime(QString::fromLatin1(t), bad), t);
        QCOMPARE(DatUtils::DatePart(-1.25), QDate(1899, 12, 29));
        QCOMPARE(DatUtils::TimePart(-1.25), QTime(6, 0));
    }

    void datesAcrossLocales_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("reader");
        QTest::newRow("comma to point") << QStringLiteral("ru_RU") << QStringLiteral("C");
        QTest::newRow("point to comma") << QStringLiteral("C") << QStringLiteral("ru_RU");
        // Locales whose decimal separator is neither "." nor "," (U+066B)
        QTest::newRow("Arabic separator to point")
            << QStringLiteral("ar_EG") << QStringLiteral("C");
        QTest::newRow("Persian separator to comma")
            << QStringLiteral("fa_IR") << QStringLiteral("ru_RU");
        QTest::newRow("point to Arabic separator")
            << QStringLiteral("C") << QStringLiteral("ar_EG");
    }

    void datesAcrossLocales()
    {
        QFETCH(QString, writer);
        QFETCH(QString, reader);
        QLocale::setDefault(QLocale(writer));
        OpenDatabase(path);
        QCOMPARE(AddCard(2, 0, 1234, 4096), 0);
        const QString separator = QLocale().decimalPoint();
        QVERIFY(Scalar(QStringLiteral("SELECT CARD_DATE FROM Cards")).contains(separator));
        QVERIFY(Scalar(QStringLiteral("SELECT MODIF_DATE FROM Profiles WHERE ID_PROF = 1"))
                    .contains(separator));
        // a card issued long ago, so that "now" would show
        InsertCardRaw(int64_t(2), DatUtils::DateTimeToNumberText(40000.25), int64_t(99),
                      int64_t(5000), int64_t(1));
        TSecProfile old;
        old.Caption = QStringLiteral("old");
        old.Date = 41000.75;
        QCOMPARE(SaveProfile(old), 0);

        QLocale::setDefault(QLocale(reader));
        TReportModel cards;
        QVERIFY(ShowCards(cards));
        QCOMPARE(cards.RowCount(), 2);
        QCOMPARE(cards.Cell(1, 2),
                 QLocale().toString(QDate(1899, 12, 30).addDays(40000), QLocale::ShortFormat));
        QCOMPARE(cards.Cell(1, 3), DatUtils::FormatTimePart(40000.25));
        if (QLocale().zeroDigit() == QLatin1String("0"))
            QVERIFY(cards.Cell(1, 3).startsWith(QLatin1Char('6')) ||
                    cards.Cell(1, 3).startsWith(QStringLiteral("06")));

        TSecProfileList list;
        QVERIFY(LoadProfiles(list));
        QVERIFY(qAbs(list.ProfileByName(QStringLiteral("old"))->Date - 41000.75) < 1e-9);
        TReportModel profiles;
        QVERIFY(ShowProfiles(profiles));
        QCOMPARE(profiles.Cell(2, 3),
                 QLocale().toString(QDate(1899, 12, 30).addDays(41000), QLocale::ShortFormat));
        QCOMPARE(profiles.Cell(2, 4), DatUtils::FormatTimePart(41000.75));
        QVERIFY(messages.isEmpty());
    }

    // A date written under any locale reads back under the C and the Russian locale.
    void dateTextOfEveryLocale()
    {
        const QList<QLocale> all = QLocale::matchingLocales(
            QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        QVERIFY(all.size() > 100);
        for (const QLocale &writer : all) {
            QLocale::setDefault(writer);
            const QString text = DatUtils::DateTimeToNumberText(46000.5);
            for (const char *reader : {"C", "ru_RU"}) {
                QLocale::setDefault(QLocale(QString::fromLatin1(reader)));
                double back = 0;
                QVERIFY2(DatUtils::TryNumberTextToDateTime(text, back) && back == 46000.5,
                         qPrintable(writer.name() + QLatin1Char(' ') + text));
            }
        }
    }

    void unreadableDateShowsNow()
    {
        OpenDatabase(path);
        InsertCardRaw(int64_t(1), QStringLiteral("yesterday"), int64_t(1), int64_t(0), int64_t(0));
        TReportModel cards;
        QVERIFY(ShowCards(cards));
        QCOMPARE(cards.Cell(0, 2), DatUtils::FormatDatePart(NowAsDateTime()));
        QVERIFY(messages.isEmpty());
    }

    void timeFormatWithoutZone()
    {
        QCOMPARE(DatUtils::FormatTimePart(0.75), CTime(18, 0, 0));
        QCOMPARE(DatUtils::FormatTimePart(46000 + (9 * 3600 + 5 * 60 + 7) / 86400.0),
                 CTime(9, 5, 7));
        for (const char *name : {"ru_RU", "en_US", "de_DE"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(name)));
            const QString fmt =
                QLocale().timeFormat(QLocale::LongFormat).remove(QLatin1Char('t')).trimmed();
            for (QTime t : {QTime(0, 0, 1), QTime(12, 30, 0), QTime(23, 59, 59)})
                QCOMPARE(DatUtils::FormatTimePart(t.msecsSinceStartOfDay() / 86400000.0),
                         QLocale().toString(t, fmt));
        }
    }

    void showCards()
    {
        OpenDatabase(path);
        QCOMPARE(
            AddProfile(QStringLiteral("Офис \"А\""), 4, QStringLiteral("pw"), 1, 2, 2, 1, 3, 0, 0),
            0);
        InsertCardRaw(int64_t(3), QStringLiteral("45000.5"), int64_t(0xABCD), int64_t(4096),
                      int64_t(0));
        InsertCardRaw(int64_t(2), QStringLiteral("45000,5"), int64_t(0x04A1B2C3D4E5F6),
                      int64_t(0x12345678), int64_t(1));
        InsertCardRaw(int64_t(77), QStringLiteral("45000.5"), int64_t(5), int64_t(5),
                      int64_t(0)); // no such profile
        InsertCardRaw(int64_t(2), QStringLiteral("45000.5"), QStringLiteral("abc12"), int64_t(0),
                      int64_t(0));
        InsertCardRaw(int64_t(2), QStringLiteral("45000.5"), QStringLiteral("12xyz"), int64_t(-1),
                      int64_t(2));
        InsertCardRaw(int64_t(2), QStringLiteral("45000.5"), std::monostate(), int64_t(7),
                      int64_t(0));

        TReportModel view;
        QVERIFY(ShowCards(view));
        QCOMPARE(
            view.Columns(),
            (QStringList{QStringLiteral("No."), QStringLiteral("Профиль"), QStringLiteral("Дата"),
                         QStringLiteral("Время"), QStringLiteral("Серийный номер"),
                         QStringLiteral("Номер карты"), QStringLiteral("Мастер")}));
        QCOMPARE(view.RowCount(), 5);
        const QString date =
            QLocale().toString(QDate(1899, 12, 30).addDays(45000), QLocale::ShortFormat);
        QCOMPARE(view.Row(0),
                 (QStringList{QStringLiteral("1"), QStringLiteral("Офис \"А\""), date,
                              CTime(12, 0, 0), QStringLiteral("0x0000000000ABCD"),
                              QStringLiteral("0x00000000001000"), QStringLiteral("нет")}));
        QCOMPARE(view.Row(1),
                 (QStringList{QStringLiteral("2"), QStringLiteral("Транспортный"), date,
                              CTime(12, 0, 0), QStringLiteral("0x04A1B2C3D4E5F6"),
                              QStringLiteral("0x00000012345678"), QStringLiteral("ДА")}));
        // a serial that is not a number: message, value up to the first non-digit, row kept
        QCOMPARE(view.Cell(2, 0), QStringLiteral("3"));
        QCOMPARE(view.Cell(2, 4), QStringLiteral("0x00000000000000"));
        QCOMPARE(view.Cell(3, 0), QStringLiteral("4"));
        QCOMPARE(view.Cell(3, 4), QStringLiteral("0x0000000000000C"));
        QCOMPARE(view.Cell(3, 5), QStringLiteral("0xFFFFFFFFFFFFFFFF"));
        QCOMPARE(view.Cell(3, 6), QStringLiteral("ДА"));
        QCOMPARE(view.Cell(4, 0), QStringLiteral("5"));
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages[0].first, QStringLiteral("Error card serial conversion (abc12)"));
        QCOMPARE(messages[1].first, QStringLiteral("Error card serial conversion (12xyz)"));
        QCOMPARE(messages[2].first, QStringLiteral("Error card serial conversion ()"));
        QCOMPARE(messages[0].second, QStringLiteral("Tagor"));

        // the model's view side
        QCOMPARE(view.rowCount(), 5);
        QCOMPARE(view.columnCount(), 7);
        QCOMPARE(view.headerData(4, Qt::Horizontal).toString(), QStringLiteral("Серийный номер"));
        QCOMPARE(view.data(view.index(1, 1)).toString(), QStringLiteral("Транспортный"));

        // a card number that is not a number ends the filling; the rows so far stay
        InsertCardRaw(int64_t(2), QStringLiteral("45000.5"), int64_t(8), QStringLiteral("x9"),
                      int64_t(0));
        InsertCardRaw(int64_t(2), QStringLiteral("45000.5"), int64_t(9), int64_t(9), int64_t(0));
        messages.clear();
        try {
            ShowCards(view);
            QFAIL("no error");
        } catch (const EConvertError &e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                     QStringLiteral("'x9' is not a valid integer value"));
        }
        QCOMPARE(view.RowCount(), 5);
        QCOMPARE(messages.size(), 3);

        // a register without cards
        Exec(QStringLiteral("DELETE FROM Cards"));
        QVERIFY(!ShowCards(view));
        QCOMPARE(view.RowCount(), 0);
    }

    void showProfiles()
    {
        OpenDatabase(path);
        QCOMPARE(AddProfile(QStringLiteral("Склад"), 12, QStringLiteral("pw"), 1, 2, 2, 1, 3, 1, 0),
                 0);
        Exec(QStringLiteral(
            "INSERT INTO Profiles(CAPTION, PREV_PROF_ID, MODIF_DATE, KEYDATA, USE_ORIG_CARD_ID, "
            "PROTECTED) VALUES ('broken', 99, '45000.25', 'ZZZZ', NULL, NULL)"));
        TReportModel view;
        QVERIFY(ShowProfiles(view));
        QCOMPARE(view.Columns(),
                 (QStringList{QStringLiteral("No."), QStringLiteral("Название"),
                              QStringLiteral("Основан на профиле"), QStringLiteral("Дата"),
                              QStringLiteral("Время"), QStringLiteral("Сектор"),
                              QStringLiteral("Ориг. ID"), QStringLiteral("R/O")}));
        QCOMPARE(view.RowCount(), 4);
        QCOMPARE(view.Cell(0, 0), QStringLiteral("1"));
        QCOMPARE(view.Cell(0, 1), QStringLiteral("Пустой"));
        QCOMPARE(view.Cell(0, 2), QStringLiteral("----"));
        QCOMPARE(view.Cell(0, 3), DatUtils::FormatDatePart(NowAsDateTime()));
        QCOMPARE(view.Cell(0, 5), QStringLiteral("1"));
        QCOMPARE(view.Cell(0, 6), QStringLiteral("нет"));
        QCOMPARE(view.Cell(0, 7), QStringLiteral("ДА"));
        QCOMPARE(view.Cell(1, 2), QStringLiteral("Пустой"));
        QCOMPARE(view.Row(2).mid(5),
                 (QStringList{QStringLiteral("12"), QStringLiteral("ДА"), QStringLiteral("нет")}));
        QCOMPARE(view.Cell(2, 2), QStringLiteral("Транспортный"));
        QCOMPARE(view.Cell(3, 0), QStringLiteral("4"));
        QCOMPARE(view.Cell(3, 2), QStringLiteral("----"));
        QCOMPARE(view.Cell(3, 4), CTime(6, 0, 0));
        QCOMPARE(view.Cell(3, 5), QStringLiteral("?"));
        QCOMPARE(view.Cell(3, 6), QStringLiteral("нет"));
        QVERIFY(messages.isEmpty());
    }

    void loadProfilesBadKeyData()
    {
        OpenDatabase(path);
        auto insert = [this](const QString &caption, const QString &keyData) {
            Exec(QStringLiteral("INSERT INTO Profiles(CAPTION, PREV_PROF_ID, MODIF_DATE, KEYDATA, "
                                "USE_ORIG_CARD_ID, "
                                "PROTECTED) VALUES (?, 2, '45000', ?, 0, 0)"),
                 {caption, keyData});
        };
        insert(QStringLiteral("not hex"), QStringLiteral("QQ") + Coded(PlainTransport));
        insert(QStringLiteral("bad number"), Coded(QStringLiteral("1:XYZ:0:1:0:pw")));
        insert(QStringLiteral("seven words"), Coded(QStringLiteral("1:1:1:1:1:pw:x")));
        insert(QStringLiteral("no password"),
               Coded(QStringLiteral("9:0000000000000AAA:0000000000000BBB:1:0000FFFFFFFFFFFF:")));
        insert(QStringLiteral("good"), Coded(QStringLiteral("3:1:2:1:3:secret")));
        const QString before = Scalar(QStringLiteral("SELECT group_concat(KEYDATA) FROM Profiles"));

        TSecProfileList list;
        QVERIFY(LoadProfiles(list));
        QCOMPARE(list.Count(), 4);
        QVERIFY(!list.ProfileByName(QStringLiteral("not hex")));
        QVERIFY(!list.ProfileByName(QStringLiteral("bad number")));
        QVERIFY(!list.ProfileByName(QStringLiteral("seven words")));
        TSecProfile *open = list.ProfileByName(QStringLiteral("no password"));
        QVERIFY(open);
        QCOMPARE(int(open->Sector), 9);
        QCOMPARE(open->KeyB, int64_t(0xBBB));
        QCOMPARE(open->passwd, QString());
        QCOMPARE(list.ProfileByName(QStringLiteral("good"))->passwd, QStringLiteral("secret"));
        QCOMPARE(list.ProfileByName(QStringLiteral("good"))->ID(), 7);
        QCOMPARE(messages.size(), 3);
        QVERIFY(messages[0].first.contains(QStringLiteral("\"not hex\" (ID 3)")));
        QCOMPARE(messages[0].second, QStringLiteral("Ошибка профиля"));
        // nothing stored changed
        QCOMPARE(Scalar(QStringLiteral("SELECT group_concat(KEYDATA) FROM Profiles")), before);
    }

    void writesAndDeletes()
    {
        OpenDatabase(path);
        QCOMPARE(AddCard(2, 0, 111, 4096), 0);
        QCOMPARE(AddCard(2, 1, 222, 4097), 0);
        QCOMPARE(AddCard(2, 0, 222, 4098), 0);
        Exec(QStringLiteral("UPDATE Cards SET CARD_DATE = '40000' WHERE SERIAL = 111"));
        QCOMPARE(Scalar(QStringLiteral("SELECT typeof(SERIAL) || typeof(CARD_NUM) || "
                                       "typeof(CARD_DATE) FROM Cards LIMIT 1")),
                 QStringLiteral("integerintegertext"));

        // an unknown serial: success, nothing changes
        const QString all = QStringLiteral(
            "SELECT group_concat(PROF_ID || '/' || SERIAL || '/' || CARD_NUM || '/' || "
            "MASTER || '/' || CARD_DATE, ';') FROM Cards");
        const QString before = Scalar(all);
        QVERIFY(UpdateCard(1, 999, 1));
        QVERIFY(DeleteCard(999));
        QCOMPARE(Scalar(all), before);

        QVERIFY(UpdateCard(1, 111, 0));
        QCOMPARE(Scalar(QStringLiteral("SELECT PROF_ID || '/' || CARD_NUM || '/' || MASTER FROM "
                                       "Cards WHERE SERIAL = 111")),
                 QStringLiteral("1/0/0"));
        double date = 0;
        QVERIFY(DatUtils::TryNumberTextToDateTime(
            Scalar(QStringLiteral("SELECT CARD_DATE FROM Cards WHERE SERIAL = 111")), date));
        QVERIFY(date > 40001);
        QVERIFY(UpdateCard(1, 222, 5)); // both cards of the serial, MASTER kept
        QCOMPARE(
            Scalar(QStringLiteral("SELECT group_concat(MASTER) FROM Cards WHERE SERIAL = 222")),
            QStringLiteral("1,0"));
        QVERIFY(DeleteCard(222));
        QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM Cards")), QStringLiteral("1"));

        // a deleted profile's cards stay and vanish from the list; a new profile with the
        // same ID takes them over
        QCOMPARE(AddProfile(QStringLiteral("P3"), 1, QStringLiteral("pw"), 1, 2, 2, 1, 3, 0, 0), 0);
        QCOMPARE(AddCard(3, 0, 333, 4099), 0);
        QVERIFY(DeleteProfile(3));
        QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM Cards WHERE PROF_ID = 3")),
                 QStringLiteral("1"));
        TReportModel view;
        QVERIFY(ShowCards(view));
        QCOMPARE(view.RowCount(), 1);
        QCOMPARE(
            AddProfile(QStringLiteral("P3 again"), 1, QStringLiteral("pw"), 1, 2, 2, 1, 3, 0, 0),
            0);
        QVERIFY(ShowCards(view));
        QCOMPARE(view.RowCount(), 2);
        QCOMPARE(view.Cell(1, 1), QStringLiteral("P3 again"));
        QVERIFY(DeleteProfile(12345));
        QVERIFY(messages.isEmpty());
    }

    void accessLayerTexts()
    {
        OpenDatabase(path);
        auto db = Peek();
        QCOMPARE(
            Raised([&] { db->ExecSQL(QStringLiteral("SELEC 1")); }),
            QStringLiteral(
                "Error executing SQL.\rError [1]: SQL error or missing database.\r\"SELEC 1\": "
                "near \"SELEC\": syntax error"));
        QCOMPARE(Raised([&] { db->ExecSQL(QStringLiteral("   ")); }),
                 QStringLiteral("Could not prepare SQL statement"));
        QCOMPARE(
            Raised(
                [&] { db->ExecSQL(QStringLiteral("INSERT INTO Profiles(ID_PROF) VALUES (1)")); }),
            QStringLiteral(
                "Error executing SQL statement.\rError [19]: Abort due to contraint violation.\r"
                "\"INSERT INTO Profiles(ID_PROF) VALUES (1)\": UNIQUE constraint failed: "
                "Profiles.ID_PROF"));
        // only the first statement of a text runs
        db->ExecSQL(QStringLiteral("DELETE FROM Cards; DROP TABLE Cards"));
        QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'Cards'")),
                 QStringLiteral("1"));

        auto t = db->GetTable(QStringLiteral("SELECT * FROM Profiles"));
        QCOMPARE(Raised([&] { t->FieldIndex(QStringLiteral("NOPE")); }),
                 QStringLiteral("Field not found in dataset: NOPE"));
        QCOMPARE(t->FieldIndex(QStringLiteral("caption")), 1);
        QCOMPARE(Raised([&] { t->FieldAsInteger(QStringLiteral("CAPTION")); }),
                 QStringLiteral("Not an integer or numeric field"));
        QCOMPARE(t->FieldAsString(QStringLiteral("ID_PROF")), QStringLiteral("1"));
        t->Next();
        t->Next();
        QVERIFY(t->Eof());
        QCOMPARE(Raised([&] { t->FieldAsString(0); }), QStringLiteral("Table is at End of File"));
        auto none = db->GetTable(QStringLiteral("CREATE TABLE IF NOT EXISTS Profiles(x)"));
        QCOMPARE(Raised([&] { none->FieldIndex(QStringLiteral("X")); }),
                 QStringLiteral("Field X Not found. Empty dataset"));
        auto max = db->GetTable(QStringLiteral("SELECT Max(CARD_NUM) FROM Cards"));
        QCOMPARE(max->FieldAsInteger(QStringLiteral("max(card_num)")), 0); // NULL reads as 0
        QCOMPARE(max->FieldAsString(0), QString());

        db->BeginTransaction();
        QCOMPARE(Raised([&] { db->BeginTransaction(); }),
                 QStringLiteral("Transaction already open"));
        db->Rollback();
        QVERIFY(!db->IsTransactionOpen());

        QCOMPARE(SQLiteErrorDescription(26),
                 QStringLiteral("File opened that is not a database file"));
        QCOMPARE(SQLiteErrorDescription(101),
                 QStringLiteral("sqlite3_step() has finished executing"));
        QCOMPARE(SQLiteErrorDescription(27), QStringLiteral("Unknown SQLite Error Code \"27\""));

        const QString missing = dir.filePath(QStringLiteral("no/such/dir/x.db3"));
        QCOMPARE(Raised([&] { TSQLiteDatabase bad(missing); }),
                 QStringLiteral("Failed to open database \"%1\" : unable to open database file")
                     .arg(missing));
    }

    void corruptFile()
    {
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage += char('A' + i % 26);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        QCOMPARE(
            Raised([&] { OpenDatabase(path); }),
            QStringLiteral("Файл \"%1\" не является базой данных профилей и карт или повреждён")
                .arg(path));
        QVERIFY(!DatUtils::IsDatabaseOpen());
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), garbage);
        }
        // later calls report the missing connection; writers keep their own messages
        QVERIFY_THROWS_EXCEPTION(ESQLiteException, GetMaxCardNum());
        TSecProfileList list;
        QVERIFY_THROWS_EXCEPTION(ESQLiteException, LoadProfiles(list));
        TReportModel view;
        QVERIFY_THROWS_EXCEPTION(ESQLiteException, ShowCards(view));
        QCOMPARE(AddCard(2, 0, 1, 4096), -1);
        QCOMPARE(AddProfile(QStringLiteral("X"), 1, QStringLiteral("pw"), 1, 2, 2, 1, 3, 0, 0), -1);
        QVERIFY(!DeleteCard(1));
        QVERIFY(!UpdateCard(1, 1, 1));
        QVERIFY(!DeleteProfile(3));
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages[0].first, QStringLiteral("Ошибка при записи в базу данных карт."));
        QCOMPARE(messages[1].first,
                 QStringLiteral("Ошибка при записи в базу данных профиля \"X\""));
    }

    void databaseWithoutTables()
    {
        {
            TSQLiteDatabase other(path);
            other.ExecSQL(QStringLiteral("CREATE TABLE Something(x)"));
        }
        QVERIFY_THROWS_EXCEPTION(ESQLiteException, OpenDatabase(path));
        QVERIFY(!DatUtils::IsDatabaseOpen());
        QCOMPARE(Scalar(QStringLiteral("SELECT group_concat(name) FROM sqlite_master")),
                 QStringLiteral("Something"));

        // an empty file (a first start that did not finish) is seeded
        QFile::remove(path);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        OpenDatabase(path);
        QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM Profiles")), QStringLiteral("2"));
    }

    void readOnlyFile()
    {
        // a database written by an older copy: tables, rows, no indexes
        {
            OpenDatabase(path);
            QCOMPARE(AddCard(2, 0, 42, 4096), 0);
            DatUtils::CloseDatabase();
            Exec(QStringLiteral("DROP INDEX IDX_CARDS_CARD_NUM"));
            Exec(QStringLiteral("DROP INDEX IDX_CARDS_SERIAL"));
        }
        const QString rows = QStringLiteral(
            "SELECT group_concat(PROF_ID || '/' || SERIAL || '/' || CARD_NUM) FROM Cards");
        const QString before = Scalar(rows);
        OpenDatabase(path, true);
        QVERIFY(DatUtils::IsDatabaseReadOnly());
        QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index'")),
                 QStringLiteral("0"));
        TSecProfileList list;
        QVERIFY(LoadProfiles(list));
        QCOMPARE(list.Count(), 2);
        QCOMPARE(GetMaxCardNum(), int64_t(4097));
        QCOMPARE(AddCard(2, 0, 43, 4097), -1);
        QCOMPARE(AddProfile(QStringLiteral("R"), 1, QStringLiteral("pw"), 1, 2, 2, 1, 3, 0, 0), -1);
        QVERIFY(!UpdateCard(1, 42, 1));
        QVERIFY(!DeleteCard(42));
        QVERIFY(!DeleteProfile(2));
        QCOMPARE(messages.size(), 2);
        QCOMPARE(Scalar(rows), before);
        QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM Profiles")), QStringLiteral("2"));
        // the connection is still usable after the failed writes
        TReportModel view;
        QVERIFY(ShowCards(view));
        QCOMPARE(view.RowCount(), 1);
        // opened for writing, the older file gets its two indexes; no row changes
        DatUtils::CloseDatabase();
        OpenDatabase(path);
        QVERIFY(!DatUtils::IsDatabaseReadOnly());
        QCOMPARE(Scalar(QStringLiteral(
                     "SELECT group_concat(name) FROM sqlite_master WHERE type = 'index'")),
                 QStringLiteral("IDX_CARDS_CARD_NUM,IDX_CARDS_SERIAL"));
        QCOMPARE(Scalar(rows), before);
    }

    void lockedDatabase()
    {
        OpenDatabase(path);
        QCOMPARE(AddCard(2, 0, 42, 4096), 0);
        const QString rows = QStringLiteral(
            "SELECT group_concat(PROF_ID || '/' || SERIAL || '/' || CARD_NUM) FROM Cards");
        const QString before = Scalar(rows);
        {
            auto other = Peek();
            other->ExecSQL(QStringLiteral("BEGIN IMMEDIATE")); // another writer holds the file
            QCOMPARE(GetMaxCardNum(), int64_t(4097));          // reading still works
            QCOMPARE(AddCard(2, 0, 43, 4097), -1);
            QVERIFY(!UpdateCard(1, 42, 1));
            QVERIFY(!DeleteCard(42));
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages[0].first, QStringLiteral("Ошибка при записи в базу данных карт."));

            other->ExecSQL(QStringLiteral("ROLLBACK"));
            // an exclusive lock stops the readers too
            other->ExecSQL(QStringLiteral("BEGIN EXCLUSIVE"));
            QCOMPARE(Raised([] { GetMaxCardNum(); }),
                     QStringLiteral("Could not prepare SQL statement"));
            TReportModel view;
            QVERIFY_THROWS_EXCEPTION(ESQLiteException, ShowCards(view));
            other->ExecSQL(QStringLiteral("ROLLBACK"));
        }
        QCOMPARE(Scalar(rows), before);
        // once the other copy lets go, writing works again (no transaction left hanging)
        QCOMPARE(AddCard(2, 0, 43, 4097), 0);
        QVERIFY(UpdateCard(1, 42, 4098));
        QCOMPARE(GetMaxCardNum(), int64_t(4099));

        // opening while another copy holds an exclusive lock
        DatUtils::CloseDatabase();
        auto other = Peek();
        other->ExecSQL(QStringLiteral("BEGIN EXCLUSIVE"));
        QCOMPARE(Raised([&] { OpenDatabase(path); }),
                 QStringLiteral("База данных \"%1\" заблокирована другой программой").arg(path));
        other->ExecSQL(QStringLiteral("ROLLBACK"));
    }

    void workerThreadCalls()
    {
        OpenDatabase(path);
        std::atomic<bool> stop{false};
        std::atomic<int> bad{0};
        std::thread worker([&] {
            int64_t last = 0;
            while (!stop) {
                try {
                    const int64_t n = GetMaxCardNum();
                    if (n < last || n < 4096)
                        ++bad;
                    last = n;
                } catch (...) {
                    ++bad;
                }
            }
        });
        for (int i = 0; i < 60; ++i)
            QCOMPARE(AddCard(2, 0, 1000 + i, GetMaxCardNum()), 0);
        stop = true;
        worker.join();
        QCOMPARE(bad.load(), 0);
        QCOMPARE(GetMaxCardNum(), int64_t(4096 + 60));
    }
};

QTEST_GUILESS_MAIN(TestDatUtils)
#include "tst_datutils.moc"
