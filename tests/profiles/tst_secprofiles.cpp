#include "profiles/secprofiles.h"

#include <QtTest>

namespace {

struct TFields
{
    uint8_t sector;
    int64_t keyA, keyB;
    uint8_t srcKey;
    int64_t srcKeyValue;
    QString passwd;
};

TFields FieldsOf(const TSecProfile &p)
{
    return {p.Sector, p.KeyA, p.KeyB, p.srcKey, p.srcKeyValue, p.passwd};
}

void CompareFields(const TSecProfile &p, const TFields &f)
{
    QCOMPARE(int(p.Sector), int(f.sector));
    QCOMPARE(p.KeyA, f.keyA);
    QCOMPARE(p.KeyB, f.keyB);
    QCOMPARE(int(p.srcKey), int(f.srcKey));
    QCOMPARE(p.srcKeyValue, f.srcKeyValue);
    QCOMPARE(p.passwd, f.passwd);
}

// A profile with values other than the defaults, to see what an assignment changes.
TSecProfile Sample()
{
    TSecProfile p;
    p.Sector = 7;
    p.KeyA = 0x111111111111;
    p.KeyB = 0x222222222222;
    p.srcKey = 3;
    p.srcKeyValue = 0x333333333333;
    p.passwd = QStringLiteral("old");
    return p;
}

} // namespace

class TestSecProfiles : public QObject
{
    Q_OBJECT

private slots:
    void defaults()
    {
        const double before = NowAsDateTime();
        TSecProfile p;
        const double after = NowAsDateTime();
        QCOMPARE(p.PrevID(), 0);
        QCOMPARE(p.Active(), false);
        QCOMPARE(p.IsReadOnly(), 0);
        QCOMPARE(p.UseOriginalId(), 0);
        QCOMPARE(p.ID(), 0);
        QCOMPARE(p.Caption, QStringLiteral("<no name>"));
        QVERIFY(p.Date >= before && p.Date <= after);
        CompareFields(p, {1, 0, 0, 1, 0, QString()});
    }

    void asString_data()
    {
        QTest::addColumn<int>("sector");
        QTest::addColumn<qint64>("keyA");
        QTest::addColumn<qint64>("keyB");
        QTest::addColumn<int>("srcKey");
        QTest::addColumn<qint64>("srcKeyValue");
        QTest::addColumn<QString>("passwd");
        QTest::addColumn<QString>("expected");
        QTest::newRow("seeded Пустой")
            << 1 << qint64(0xFFFFFFFFFFFF) << qint64(0xFFFFFFFFFFFF) << 1 << qint64(0xFFFFFFFFFFFF)
            << QStringLiteral("mivola")
            << QStringLiteral("1:0000FFFFFFFFFFFF:0000FFFFFFFFFFFF:1:0000FFFFFFFFFFFF:mivola");
        QTest::newRow("small values, decimal sector")
            << 15 << qint64(0xA) << qint64(0x5A17C93E02D4) << 0 << qint64(0) << QStringLiteral("pw")
            << QStringLiteral("15:000000000000000A:00005A17C93E02D4:0:0000000000000000:pw");
        QTest::newRow("negative key as two's complement")
            << 0 << qint64(-1) << qint64(0) << 255 << qint64(0) << QStringLiteral("x")
            << QStringLiteral("0:FFFFFFFFFFFFFFFF:0000000000000000:255:0000000000000000:x");
        QTest::newRow("colons of the password become ъ")
            << 1 << qint64(1) << qint64(2) << 1 << qint64(3) << QStringLiteral(":a::b:")
            << QStringLiteral("1:0000000000000001:0000000000000002:1:0000000000000003:ъaъъbъ");
    }

    void asString()
    {
        QFETCH(int, sector);
        QFETCH(qint64, keyA);
        QFETCH(qint64, keyB);
        QFETCH(int, srcKey);
        QFETCH(qint64, srcKeyValue);
        QFETCH(QString, passwd);
        QFETCH(QString, expected);
        TSecProfile p;
        p.Sector = uint8_t(sector);
        p.KeyA = keyA;
        p.KeyB = keyB;
        p.srcKey = uint8_t(srcKey);
        p.srcKeyValue = srcKeyValue;
        p.passwd = passwd;
        QCOMPARE(p.GetAsString(), expected);
        // the five fields before the password never hold "ъ"
        QVERIFY(!expected.section(QLatin1Char(':'), 0, 4).contains(QChar(0x044A)));
        // the coded form: two upper-case hex digits per character
        const QString coded = p.GetAsCodedString();
        QCOMPARE(coded.size(), expected.size() * 2);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]*$")).match(coded).hasMatch());
    }

    void codedRoundTrip_data()
    {
        QTest::addColumn<QString>("passwd");
        QTest::newRow("mivola") << QStringLiteral("mivola");
        QTest::newRow("printable ASCII") << QStringLiteral("A z~!@#$%^&*()_+{}|\"<>?`-=[]\\;',./0");
        QTest::newRow("longer than the coding key")
            << QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
        QTest::newRow("one character") << QStringLiteral("q");
    }

    void codedRoundTrip()
    {
        QFETCH(QString, passwd);
        TSecProfile src;
        src.Sector = 39;
        src.KeyA = 0xA1B2C3D4E5F6;
        src.KeyB = 0x0102030405;
        src.srcKey = 1;
        src.srcKeyValue = 0xFFFFFFFFFFFF;
        src.passwd = passwd;
        TSecProfile dst;
        dst.SetAsCodedString(src.GetAsCodedString());
        CompareFields(dst, FieldsOf(src));
        // the plain form reads back too, and lower-case hex is accepted
        TSecProfile low;
        const QString plain = src.GetAsString();
        low.SetAsString(plain.section(QLatin1Char(':'), 0, 4).toLower() + QLatin1Char(':') +
                        plain.section(QLatin1Char(':'), 5));
        CompareFields(low, FieldsOf(src));
    }

    void codedKnownText()
    {
        // The coding is a fixed XOR with "LumenKeyStoreArchive": "1" ^ "L" = 0x7D.
        QCOMPARE(TSecProfile::EncodeStr(QStringLiteral("1"), KeyDataCodingKey),
                 QStringLiteral("7D"));
        QCOMPARE(TSecProfile::DecodeStr(QStringLiteral("7d"), KeyDataCodingKey),
                 QStringLiteral("1"));
        QCOMPARE(TSecProfile::EncodeStr(QStringLiteral("abc"), QString()), QString());
        QCOMPARE(TSecProfile::DecodeStr(QStringLiteral("7D"), QString()), QString());
        // the key repeats: position 20 uses "L" again
        const QString text(21, QLatin1Char('1'));
        const QString coded = TSecProfile::EncodeStr(text, KeyDataCodingKey);
        QCOMPARE(coded.mid(40, 2), QStringLiteral("7D"));
        // only the low byte of a character is coded
        QCOMPARE(TSecProfile::EncodeStr(QString(QChar(0x0431)), KeyDataCodingKey),
                 TSecProfile::EncodeStr(QString(QChar(0x31)), KeyDataCodingKey));
        QCOMPARE(
            TSecProfile::DecodeStr(TSecProfile::EncodeStr(QString(QChar(0x0431)), KeyDataCodingKey),
                                   KeyDataCodingKey),
            QStringLiteral("1"));
    }

    void decodeOddAndBad()
    {
        const QString coded = Sample().GetAsCodedString();
        // an odd last character is ignored
        QCOMPARE(TSecProfile::DecodeStr(coded + QLatin1Char('F'), KeyDataCodingKey),
                 TSecProfile::DecodeStr(coded, KeyDataCodingKey));
        TSecProfile odd;
        odd.SetAsCodedString(coded + QLatin1Char('7'));
        CompareFields(odd, FieldsOf(Sample()));
        // one pair that is not hexadecimal: nothing at all
        QString bad = coded;
        bad[10] = QLatin1Char('G');
        QCOMPARE(TSecProfile::DecodeStr(bad, KeyDataCodingKey), QString());
        TSecProfile p = Sample();
        p.SetAsCodedString(bad);
        CompareFields(p, FieldsOf(Sample()));
        // an empty coded text changes nothing
        p.SetAsCodedString(QString());
        CompareFields(p, FieldsOf(Sample()));
    }

    void wordCountRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("applies"); // otherwise nothing changes and nothing is raised
        QTest::newRow("six words") << QStringLiteral("2:A:B:4:C:pw") << true;
        QTest::newRow("empty password: five words") << QStringLiteral("2:A:B:4:C:") << false;
        QTest::newRow("seven words") << QStringLiteral("2:A:B:4:C:pw:x") << false;
        QTest::newRow("trailing colon adds no word") << QStringLiteral("2:A:B:4:C:pw:") << true;
        QTest::newRow("five words in a run of colons") << QStringLiteral("2:A::::B:4:C") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("only colons") << QStringLiteral("::::::") << false;
    }

    void wordCountRule()
    {
        QFETCH(QString, text);
        QFETCH(bool, applies);
        TSecProfile p = Sample();
        p.SetAsString(text);
        if (applies)
            CompareFields(p, {2, 0xA, 0xB, 4, 0xC, QStringLiteral("pw")});
        else
            CompareFields(p, FieldsOf(Sample()));
    }

    void runsOfColons()
    {
        // Six words, but runs of ":" make empty fields by position: field 2 is empty,
        // which is not a number; the sector was already taken.
        TSecProfile p = Sample();
        QVERIFY_THROWS_EXCEPTION(EConvertError, p.SetAsString(QStringLiteral("9::A:B:4:C:pw")));
        CompareFields(p, {9, Sample().KeyA, Sample().KeyB, Sample().srcKey, Sample().srcKeyValue,
                          Sample().passwd});
        // a leading ":" makes field 1 empty: nothing is taken
        TSecProfile q = Sample();
        QVERIFY_THROWS_EXCEPTION(EConvertError, q.SetAsString(QStringLiteral(":2:A:B:4:C:pw")));
        CompareFields(q, FieldsOf(Sample()));
    }

    void partialAssignment_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("assigned"); // fields taken before the bad one
        QTest::newRow("bad sector") << QStringLiteral("x:A:B:4:C:pw") << 0;
        QTest::newRow("bad key A") << QStringLiteral("2:XYZ:B:4:C:pw") << 1;
        QTest::newRow("bad key B") << QStringLiteral("2:A:0x1:4:C:pw") << 2;
        QTest::newRow("bad srcKey") << QStringLiteral("2:A:B:four:C:pw") << 3;
        QTest::newRow("bad srcKeyValue") << QStringLiteral("2:A:B:4:C-:pw") << 4;
        QTest::newRow("key of 17 significant digits")
            << QStringLiteral("2:10000000000000000:B:4:C:pw") << 1;
        QTest::newRow("sector beyond 32 bits") << QStringLiteral("4294967297:A:B:4:C:pw") << 0;
    }

    void partialAssignment()
    {
        QFETCH(QString, text);
        QFETCH(int, assigned);
        TSecProfile p = Sample();
        QVERIFY_THROWS_EXCEPTION(EConvertError, p.SetAsString(text));
        const TSecProfile old = Sample();
        QCOMPARE(int(p.Sector), assigned > 0 ? 2 : int(old.Sector));
        QCOMPARE(p.KeyA, assigned > 1 ? int64_t(0xA) : old.KeyA);
        QCOMPARE(p.KeyB, assigned > 2 ? int64_t(0xB) : old.KeyB);
        QCOMPARE(int(p.srcKey), assigned > 3 ? 4 : int(old.srcKey));
        QCOMPARE(p.srcKeyValue, old.srcKeyValue);
        QCOMPARE(p.passwd, old.passwd);
    }

    void numberForms()
    {
        TSecProfile p;
        // the sector keeps the low 8 bits; leading zeros of a key are harmless
        p.SetAsString(QStringLiteral("257:00000000000000000001:ffffffffffffffff:513:0:pw"));
        QCOMPARE(int(p.Sector), 1);
        QCOMPARE(p.KeyA, int64_t(1));
        QCOMPARE(p.KeyB, int64_t(-1));
        QCOMPARE(int(p.srcKey), 1);
        // "ъ" is not turned back into ":"
        p.SetAsString(QStringLiteral("1:1:1:1:1:aъb"));
        QCOMPARE(p.passwd, QStringLiteral("aъb"));
        // and through the coding it comes back as the character with the same low byte
        TSecProfile q;
        q.passwd = QStringLiteral("a:b");
        TSecProfile r;
        r.SetAsCodedString(q.GetAsCodedString());
        QCOMPARE(r.passwd, QStringLiteral("aJb"));
    }

    void storablePassword_data()
    {
        QTest::addColumn<QString>("passwd");
        QTest::addColumn<bool>("storable");
        QTest::newRow("ascii") << QStringLiteral("mivola") << true;
        QTest::newRow("latin-1") << QStringLiteral("caf\u00e9") << true;
        QTest::newRow("colon") << QStringLiteral("a:b") << false;
        QTest::newRow("cyrillic") << QStringLiteral("пароль") << false;
    }

    void storablePassword()
    {
        QFETCH(QString, passwd);
        QFETCH(bool, storable);
        QCOMPARE(TSecProfile::IsStorablePassword(passwd), storable);
        TSecProfile p;
        p.passwd = passwd;
        TSecProfile q;
        q.SetAsCodedString(p.GetAsCodedString());
        QCOMPARE(q.passwd == passwd, storable);
    }

    void setIdAndActive()
    {
        TSecProfile p;
        p.SetActive(true);
        p.SetID(0); // same ID: stays unlocked
        QVERIFY(p.Active());
        p.SetID(5);
        QCOMPARE(p.ID(), 5);
        QVERIFY(!p.Active());
        p.SetActive(true);
        p.SetID(5);
        QVERIFY(p.Active());
        p.SetID(-1);
        QVERIFY(!p.Active());
    }

    void listLookups()
    {
        TSecProfileList list;
        auto make = [](int id, const QString &caption) {
            auto p = std::make_unique<TSecProfile>();
            p->SetID(id);
            p->Caption = caption;
            return p;
        };
        list.Add(make(1, QStringLiteral("Пустой")));
        list.Add(make(2, QStringLiteral("Same")));
        list.Add(make(3, QStringLiteral("Same")));
        list.Add(make(2, QStringLiteral("Other")));
        QCOMPARE(list.Count(), 4);
        QCOMPARE(list.ProfileByName(QStringLiteral("Same")), list.GetItem(1));
        QCOMPARE(list.ProfileByName(QStringLiteral("same")), nullptr);
        QCOMPARE(list.ProfileByName(QStringLiteral("Same ")), nullptr);
        QCOMPARE(list.ProfileByName(QStringLiteral("Пустой")), list.GetItem(0));
        QCOMPARE(list.ProfileByID(2), list.GetItem(1));
        QCOMPARE(list.ProfileByID(3), list.GetItem(2));
        QCOMPARE(list.ProfileByID(42), nullptr);
        QCOMPARE(list[3]->Caption, QStringLiteral("Other"));

        list.Delete(1);
        QCOMPARE(list.Count(), 3);
        QCOMPARE(list.ProfileByID(2)->Caption, QStringLiteral("Other"));
        QVERIFY(list.Remove(list.ProfileByID(3)));
        QVERIFY(!list.Remove(nullptr));
        QCOMPARE(list.Count(), 2);
        list.Clear();
        QCOMPARE(list.Count(), 0);
        QCOMPARE(list.ProfileByID(1), nullptr);
    }

    void getItemBadIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("negative") << -1;
        QTest::newRow("count") << 2;
        QTest::newRow("far") << 1000;
    }

    void getItemBadIndex()
    {
        QFETCH(int, index);
        TSecProfileList list;
        list.Add(std::make_unique<TSecProfile>());
        list.Add(std::make_unique<TSecProfile>());
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.GetItem(index));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Delete(index));
        QCOMPARE(list.Count(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSecProfiles)
#include "tst_secprofiles.moc"
