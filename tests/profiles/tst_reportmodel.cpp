#include "profiles/reportmodel.h"

#include <QtTest>

class TestReportModel : public QObject
{
    Q_OBJECT

private slots:
    void cellsAndShape()
    {
        TReportModel m({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        m.AddRow(QStringList{QStringLiteral("1"), QStringLiteral("два"), QStringLiteral("x"),
                             QStringLiteral("dropped")});
        m.AddRow(QStringList{QStringLiteral("only one")});
        m.AddRow({QStringView(u"\U0001F511 key"), QStringView(u"é"), QStringView()});
        const QChar lone[] = {QChar(0xD800), QLatin1Char('z')};
        m.AddRow({QStringView(lone, 2)});
        m.AddRowUtf8({QByteArrayView("utf8"), QByteArrayView("\xd0\xb4\xd0\xb0")});
        QCOMPARE(m.RowCount(), 5);
        QCOMPARE(m.columnCount(), 3);
        QCOMPARE(m.Row(0),
                 (QStringList{QStringLiteral("1"), QStringLiteral("два"), QStringLiteral("x")}));
        QCOMPARE(m.Row(1), (QStringList{QStringLiteral("only one"), QString(), QString()}));
        QCOMPARE(m.Cell(2, 0), QStringLiteral("\U0001F511 key"));
        QCOMPARE(m.Cell(2, 1), QStringLiteral("é"));
        QCOMPARE(m.Cell(3, 0), QStringLiteral("\uFFFDz"));
        QCOMPARE(m.Row(4), (QStringList{QStringLiteral("utf8"), QStringLiteral("да"), QString()}));
        QCOMPARE(m.Cell(5, 0), QString());
        QCOMPARE(m.Cell(0, 3), QString());
        QCOMPARE(m.data(m.index(0, 1)).toString(), QStringLiteral("два"));
        QCOMPARE(m.headerData(2, Qt::Horizontal).toString(), QStringLiteral("C"));
    }

    void signals_()
    {
        TReportModel m({QStringLiteral("A")});
        QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&m, &QAbstractItemModel::modelReset);
        m.AddRow(QStringList{QStringLiteral("a")});
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 0);
        m.BeginUpdate();
        m.BeginUpdate();
        for (int i = 0; i < 1000; ++i)
            m.AddRow(QStringList{QString::number(i)});
        m.Clear();
        m.AddRow(QStringList{QStringLiteral("b")});
        m.EndUpdate();
        QCOMPARE(reset.size(), 0);
        m.EndUpdate();
        QCOMPARE(reset.size(), 1);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(m.RowCount(), 1);
        QCOMPARE(m.Cell(0, 0), QStringLiteral("b"));
        m.SetColumns({QStringLiteral("X"), QStringLiteral("Y")});
        QCOMPARE(reset.size(), 2);
        QCOMPARE(m.RowCount(), 0);
        QCOMPARE(m.columnCount(), 2);
    }

    void manyAndLongRows()
    {
        // rows across many storage chunks, and rows longer than a chunk
        TReportModel m({QStringLiteral("No."), QStringLiteral("Text")});
        const QString big(700000, QChar(0x0436)); // 1.4 MB of UTF-8
        m.BeginUpdate();
        for (int i = 0; i < 60000; ++i) {
            m.AddRow({QString::number(i),
                      i % 20000 == 7 ? QStringView(big) : QStringView(u"строка с текстом")});
        }
        m.EndUpdate();
        QCOMPARE(m.RowCount(), 60000);
        for (int i : {0, 6, 7, 8, 20007, 20008, 33333, 59999}) {
            QCOMPARE(m.Cell(i, 0), QString::number(i));
            QCOMPARE(m.Cell(i, 1), i % 20000 == 7 ? big : QStringLiteral("строка с текстом"));
        }
    }
};

QTEST_GUILESS_MAIN(TestReportModel)
#include "tst_reportmodel.moc"
