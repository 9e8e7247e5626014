#include "profiles/DatUtils.h"

#include "profiles/reportmodel.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QStringList>

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::recursive_mutex dbMutex;
std::unique_ptr<TSQLiteDatabase> Database;
QString DatabasePathValue;

std::mutex handlerMutex;
DatUtils::TMessageHandler messageHandler;

const QString CreateProfilesSQL =
    QStringLiteral("CREATE TABLE Profiles ([ID_PROF] INTEGER PRIMARY KEY, [CAPTION] VARCHAR (64), "
                   "[PREV_PROF_ID] INTEGER, [MODIF_DATE] VARCHAR (32), [KEYDATA] VARCHAR (128), "
                   "[USE_ORIG_CARD_ID] INTEGER, [PROTECTED] INTEGER);");
const QString CreateCardsSQL =
    QStringLiteral("CREATE TABLE Cards ([ID_CARD] INTEGER PRIMARY KEY, [CARD_DATE] VARCHAR (32), "
                   "[PROF_ID] INTEGER, [SERIAL] INT64, [CARD_NUM] INT64, [MASTER] INTEGER);");

// Messages waiting to be shown once the lock is released.
using TMessages = std::vector<std::pair<QString, QString>>;

void ShowMessages(const TMessages &messages)
{
    DatUtils::TMessageHandler handler;
    {
        std::lock_guard guard(handlerMutex);
        handler = messageHandler;
    }
    for (const auto &[text, caption] : messages) {
        if (handler)
            handler(text, caption);
        else
            qWarning().noquote() << caption << ":" << text;
    }
}

TSQLiteDatabase &Db()
{
    if (!Database)
        throw ESQLiteException(QStringLiteral("База данных не открыта"));
    return *Database;
}

// Rolls back after a failed write; a rollback that fails too has nothing more to undo.
void RollbackQuietly()
{
    if (!Database)
        return;
    try {
        if (Database->IsTransactionOpen())
            Database->Rollback();
    } catch (const std::exception &) {
    }
}

// Runs one writing statement in a transaction of its own; a failure is rolled back and
// gives false. The caller holds dbMutex.
bool WriteInTransaction(const QString &sql, const TSQLiteParams &params)
{
    try {
        TSQLiteDatabase &db = Db();
        db.BeginTransaction();
        db.ExecSQL(sql, params);
        db.Commit();
        return true;
    } catch (const std::exception &) {
        RollbackQuietly();
        return false;
    }
}

// Reads a decimal integer as far as it goes: leading blanks and a sign are allowed; the
// value stops at the first character that is not part of the number. Returns true when
// the whole text was a number.
bool ParseInt64Prefix(QByteArrayView text, int64_t &value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    qsizetype digits = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        const uint64_t d = uint64_t(text[i] - '0');
        if (magnitude > (limit - d) / 10)
            break; // would overflow: the number ends here
        magnitude = magnitude * 10 + d;
    }
    value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return digits > 0 && i == n;
}

// "0x" and at least 14 upper-case hexadecimal digits.
void AppendHexCell(std::string &out, int64_t value)
{
    char digits[17];
    auto [end, ec] = std::to_chars(digits, digits + 16, uint64_t(value), 16);
    (void)ec;
    const auto len = end - digits;
    out += "0x";
    for (auto k = len; k < 14; ++k)
        out += '0';
    for (auto *p = digits; p != end; ++p)
        out += (*p >= 'a' && *p <= 'f') ? char(*p - 'a' + 'A') : *p;
}

// The locale's long time format without the time zone, applied quickly to many rows.
class TTimeFormatter
{
public:
    TTimeFormatter()
    {
        const QLocale locale;
        format = StripZone(locale.timeFormat(QLocale::LongFormat));
        fast = Tokenise(locale);
        if (fast) {
            const QTime samples[] = {QTime(0, 0, 0), QTime(9, 5, 7), QTime(12, 0, 1),
                                     QTime(13, 45, 59), QTime(23, 59, 59)};
            for (const QTime &t : samples) {
                std::string out;
                Append(out, t);
                if (QString::fromUtf8(out.data(), qsizetype(out.size())) !=
                    locale.toString(t, format)) {
                    fast = false;
                    break;
                }
            }
        }
    }

    void Append(std::string &out, QTime t) const
    {
        if (!fast) {
            out += QLocale().toString(t, format).toStdString();
            return;
        }
        for (const Token &tok : tokens) {
            switch (tok.kind) {
            case Literal:
                out += tok.text;
                break;
            case Hour24:
                Number(out, t.hour(), tok.width);
                break;
            case Hour12:
                Number(out, t.hour() % 12 == 0 ? 12 : t.hour() % 12, tok.width);
                break;
            case Minute:
                Number(out, t.minute(), tok.width);
                break;
            case Second:
                Number(out, t.second(), tok.width);
                break;
            case AmPm:
                out += t.hour() < 12 ? tok.text : tok.text2;
                break;
            }
        }
    }

    QString Format(QTime t) const
    {
        std::string out;
        Append(out, t);
        return QString::fromUtf8(out.data(), qsizetype(out.size()));
    }

private:
    enum Kind
    {
        Literal,
        Hour24,
        Hour12,
        Minute,
        Second,
        AmPm
    };
    struct Token
    {
        Kind kind;
        int width = 1;
        std::string text, text2;
    };

    static QString StripZone(const QString &f)
    {
        QString result;
        bool quoted = false;
        for (QChar c : f) {
            if (c == QLatin1Char('\''))
                quoted = !quoted;
            if (!quoted && c == QLatin1Char('t'))
                continue;
            result += c;
        }
        return result.trimmed();
    }

    static void Number(std::string &out, int v, int width)
    {
        if (width == 2 && v < 10)
            out += '0';
        out += std::to_string(v);
    }

    bool Tokenise(const QLocale &locale)
    {
        const bool hasAmPm = format.contains(QLatin1String("AP"), Qt::CaseInsensitive) ||
                             format.contains(QLatin1Char('A')) || format.contains(QLatin1Char('a'));
        const qsizetype n = format.size();
        for (qsizetype i = 0; i < n;) {
            const QChar c = format.at(i);
            qsizetype run = 1;
            while (i + run < n && format.at(i + run) == c)
                ++run;
            if (c == QLatin1Char('\'')) {
                // quoted text; '' is a quote character
                qsizetype j = i + 1;
                QString lit;
                if (j < n && format.at(j) == QLatin1Char('\'')) {
                    lit = QStringLiteral("'");
                    j += 1;
                } else {
                    while (j < n && format.at(j) != QLatin1Char('\''))
                        lit += format.at(j++);
                    if (j >= n)
                        return false;
                    ++j;
                }
                tokens.push_back({Literal, 1, lit.toStdString(), {}});
                i = j;
                continue;
            }
            const int width = int(std::min<qsizetype>(run, 2));
            if (c == QLatin1Char('H') || c == QLatin1Char('h')) {
                tokens.push_back(
                    {(c == QLatin1Char('h') && hasAmPm) ? Hour12 : Hour24, width, {}, {}});
                i += width;
            } else if (c == QLatin1Char('m')) {
                tokens.push_back({Minute, width, {}, {}});
                i += width;
            } else if (c == QLatin1Char('s')) {
                tokens.push_back({Second, width, {}, {}});
                i += width;
            } else if (c == QLatin1Char('A') || c == QLatin1Char('a')) {
                const bool upper = c == QLatin1Char('A');
                const qsizetype len =
                    (i + 1 < n && format.at(i + 1).toUpper() == QLatin1Char('P')) ? 2 : 1;
                QString am = locale.amText(), pm = locale.pmText();
                if (upper) {
                    am = am.toUpper();
                    pm = pm.toUpper();
                } else {
                    am = am.toLower();
                    pm = pm.toLower();
                }
                tokens.push_back({AmPm, 1, am.toStdString(), pm.toStdString()});
                i += len;
            } else if (c.isLetter()) {
                return false; // a field this formatter does not know: let QLocale do it
            } else {
                tokens.push_back({Literal, 1, QString(c).toStdString(), {}});
                i += 1;
            }
        }
        return true;
    }

    QString format;
    bool fast = false;
    std::vector<Token> tokens;
};

// The date cells of one fill: many cards share a day.
class TDateCache
{
public:
    const std::string &Get(double value)
    {
        const qint64 day = qint64(std::trunc(value));
        auto it = cache.find(day);
        if (it == cache.end())
            it = cache.insert(day, DatUtils::FormatDatePart(value).toStdString());
        return it.value();
    }

private:
    QHash<qint64, std::string> cache;
};

QByteArrayView DateCell(const std::string &s)
{
    return QByteArrayView(s.data(), qsizetype(s.size()));
}

// Keeps a model in one update while it is filled, whatever happens.
struct TUpdateScope
{
    explicit TUpdateScope(TReportModel &m) : model(m) { model.BeginUpdate(); }
    ~TUpdateScope() { model.EndUpdate(); }
    TReportModel &model;
};

// The decoded key data when it has the six fields of a stored profile; an empty
// password leaves only five words and is accepted as such.
void DecodeKeyData(TSecProfile &profile, const QString &coded)
{
    const QString plain = TSecProfile::DecodeStr(coded, KeyDataCodingKey);
    const int words = int(plain.split(QLatin1Char(':'), Qt::SkipEmptyParts).size());
    if (words == 6) {
        profile.SetAsString(plain);
        return;
    }
    if (words == 5 && plain.endsWith(QLatin1Char(':')) && plain.count(QLatin1Char(':')) == 5) {
        profile.SetAsString(plain + QLatin1Char('x'));
        profile.passwd.clear();
        return;
    }
    throw EConvertError("the key data does not decode");
}

void CreateIndexes(TSQLiteDatabase &db)
{
    if (db.IsReadOnly())
        return;
    try {
        db.ExecSQL(
            QStringLiteral("CREATE INDEX IF NOT EXISTS IDX_CARDS_CARD_NUM ON Cards(CARD_NUM)"));
        db.ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS IDX_CARDS_SERIAL ON Cards(SERIAL)"));
    } catch (const ESQLiteException &) {
        // An index only speeds look-ups up; a file that cannot take one is used without.
    }
}

void Seed(TSQLiteDatabase &db)
{
    db.ExecSQL(CreateProfilesSQL);
    if (AddProfile(QStringLiteral("Пустой"), 1, QStringLiteral("mivola"), 0xFFFFFFFFFFFF,
                   0xFFFFFFFFFFFF, -1, 1, 0xFFFFFFFFFFFF, 0, 1) != 0 ||
        AddProfile(QStringLiteral("Транспортный"), 1, QStringLiteral("mivola"), 0x5A17C93E02D4,
                   0x8E2B61F4D907, 1, 1, 0xFFFFFFFFFFFF, 0, 1) != 0)
        throw ESQLiteException(
            QStringLiteral("Не удалось записать начальные профили в базу данных \"%1\"")
                .arg(db.FileName()));
    db.ExecSQL(CreateCardsSQL);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Helpers

void DatUtils::SetMessageHandler(TMessageHandler handler)
{
    std::lock_guard guard(handlerMutex);
    messageHandler = std::move(handler);
}

QStringList DatUtils::ProfilesColumns()
{
    return {QStringLiteral("No."),
            QStringLiteral("Название"),
            QStringLiteral("Основан на профиле"),
            QStringLiteral("Дата"),
            QStringLiteral("Время"),
            QStringLiteral("Сектор"),
            QStringLiteral("Ориг. ID"),
            QStringLiteral("R/O")};
}

QStringList DatUtils::CardsColumns()
{
    return {
        QStringLiteral("No."),   QStringLiteral("Профиль"),        QStringLiteral("Дата"),
        QStringLiteral("Время"), QStringLiteral("Серийный номер"), QStringLiteral("Номер карты"),
        QStringLiteral("Мастер")};
}

QString DatUtils::DefaultDatabasePath()
{
    const QString exe = QCoreApplication::applicationFilePath();
    const QFileInfo info(exe);
    const QString suffix = info.suffix();
    QString base = exe;
    if (!suffix.isEmpty())
        base.chop(suffix.size() + 1);
    return base + QStringLiteral(".db3");
}

QString DatUtils::DatabasePath()
{
    std::lock_guard guard(dbMutex);
    return DatabasePathValue;
}

bool DatUtils::IsDatabaseOpen()
{
    std::lock_guard guard(dbMutex);
    return Database != nullptr;
}

bool DatUtils::IsDatabaseReadOnly()
{
    std::lock_guard guard(dbMutex);
    return Database && Database->IsReadOnly();
}

void DatUtils::CloseDatabase()
{
    std::lock_guard guard(dbMutex);
    Database.reset();
}

QString DatUtils::DateTimeToNumberText(double value)
{
    QString text = QString::number(value, 'g', 15);
    const QString separator = QLocale().decimalPoint();
    if (separator != QLatin1String("."))
        text.replace(QLatin1Char('.'), separator);
    return text;
}

bool DatUtils::TryNumberTextToDateTime(QByteArrayView text, double &value)
{
    char buffer[64];
    qsizetype b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t'))
        ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t'))
        --e;
    if (e - b <= 0 || e - b >= qsizetype(sizeof buffer))
        return false;
    qsizetype n = 0;
    for (qsizetype i = b; i < e; ++i) {
        const char c = text[i];
        if (uchar(c) >= 0x80)
            return TryNumberTextToDateTime(QString::fromUtf8(text), value);
        buffer[n++] = c == ',' ? '.' : c;
    }
    const char *first = buffer[0] == '+' ? buffer + 1 : buffer;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, buffer + n, v);
    // Day numbers of the years 1 to 9999 only.
    if (ec != std::errc() || ptr != buffer + n || !std::isfinite(v) || v < -693593.0 ||
        v >= 2958466.0)
        return false;
    value = v;
    return true;
}

bool DatUtils::TryNumberTextToDateTime(const QString &text, double &value)
{
    QString t = text.trimmed();
    // A separator of the current locale that is neither "." nor "," still reads, and so
    // does the Arabic decimal separator that Arabic and Persian locales write, whatever
    // the locale of the reading moment.
    const QString separator = QLocale().decimalPoint();
    if (separator != QLatin1String(".") && separator != QLatin1String(","))
        t.replace(separator, QLatin1String("."));
    t.replace(QChar(0x066B), QLatin1Char('.'));
    bool ascii = true;
    for (QChar c : t)
        ascii = ascii && c.unicode() < 0x80;
    if (!ascii)
        return false;
    const QByteArray bytes = t.toLatin1();
    return TryNumberTextToDateTime(QByteArrayView(bytes), value);
}

QDate DatUtils::DatePart(double value)
{
    return QDate(1899, 12, 30).addDays(qint64(std::trunc(value)));
}

QTime DatUtils::TimePart(double value)
{
    double fraction = std::fabs(value - std::trunc(value));
    qint64 ms = qint64(std::llround(fraction * 86400000.0));
    if (ms >= 86400000)
        ms = 86399999;
    return QTime::fromMSecsSinceStartOfDay(int(ms));
}

QString DatUtils::FormatDatePart(double value)
{
    return QLocale().toString(DatePart(value), QLocale::ShortFormat);
}

QString DatUtils::FormatTimePart(double value)
{
    return TTimeFormatter().Format(TimePart(value));
}

QByteArray DatUtils::CaptionToStored(const QString &caption)
{
    QByteArray utf8 = caption.toUtf8();
    if (utf8.size() <= 63)
        return utf8;
    qsizetype cut = 63;
    while (cut > 0 && (uchar(utf8[cut]) & 0xC0) == 0x80)
        --cut; // never split a character
    utf8.truncate(cut);
    return utf8;
}

// ---------------------------------------------------------------------------------------
// Routines

void OpenDatabase(const QString &path, bool readOnly)
{
    std::lock_guard guard(dbMutex);
    Database.reset();
    DatabasePathValue = path.isEmpty() ? DatUtils::DefaultDatabasePath() : path;
    const QString file = DatabasePathValue;
    const bool existed = QFileInfo::exists(file);

    if (!existed && readOnly)
        throw ESQLiteException(QStringLiteral("Failed to open database \"%1\" : %2")
                                   .arg(file, QStringLiteral("unable to open database file")),
                               SQLITE_CANTOPEN);

    auto db = std::make_unique<TSQLiteDatabase>(file, readOnly);

    bool seed = !existed;
    if (existed) {
        QStringList tables;
        try {
            auto table =
                db->GetTable(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
            for (; !table->Eof(); table->Next())
                tables << table->FieldAsString(0).toUpper();
        } catch (const ESQLiteException &e) {
            if (e.Code() == SQLITE_NOTADB || e.Code() == SQLITE_CORRUPT)
                throw ESQLiteException(
                    QStringLiteral("Файл \"%1\" не является базой данных профилей и карт "
                                   "или повреждён")
                        .arg(file),
                    e.Code());
            if (e.Code() == SQLITE_BUSY || e.Code() == SQLITE_LOCKED)
                throw ESQLiteException(
                    QStringLiteral("База данных \"%1\" заблокирована другой программой").arg(file),
                    e.Code());
            throw;
        }
        if (tables.isEmpty() && !db->IsReadOnly()) {
            seed = true; // an empty file, e.g. left by a first start that did not finish
        } else if (!tables.contains(QStringLiteral("PROFILES")) ||
                   !tables.contains(QStringLiteral("CARDS"))) {
            throw ESQLiteException(
                QStringLiteral("В базе данных \"%1\" нет таблиц профилей и карт").arg(file));
        }
    }

    Database = std::move(db);
    if (seed) {
        try {
            Seed(*Database);
        } catch (...) {
            Database.reset();
            // A half-seeded file would stop every later start: it goes back to what it was.
            if (!existed)
                QFile::remove(file);
            else
                QFile::resize(file, 0);
            throw;
        }
    }
    CreateIndexes(*Database);
}

int32_t AddProfile(const QString &Caption, uint8_t Sector, const QString &Passwd, int64_t KeyA,
                   int64_t KeyB, int32_t PrevID, uint8_t SrcKey, int64_t SrcKeyValue,
                   int32_t UseOrigId, int32_t ReadOnly)
{
    TSecProfile profile;
    profile.Caption = Caption;
    profile.Sector = Sector;
    profile.passwd = Passwd;
    profile.KeyA = KeyA;
    profile.KeyB = KeyB;
    profile.SetPrevID(PrevID);
    profile.srcKey = SrcKey;
    profile.srcKeyValue = SrcKeyValue;
    profile.SetUseOriginalId(UseOrigId);
    profile.SetIsReadOnly(ReadOnly);
    profile.Date = NowAsDateTime();
    profile.SetID(-1);
    return SaveProfile(profile);
}

int32_t SaveProfile(const TSecProfile &profile)
{
    const QByteArray caption = DatUtils::CaptionToStored(profile.Caption);
    TMessages messages;
    int32_t result = 0;
    {
        std::lock_guard guard(dbMutex);
        if (!WriteInTransaction(
                QStringLiteral("INSERT INTO Profiles(CAPTION, PREV_PROF_ID, MODIF_DATE, KEYDATA, "
                               "USE_ORIG_CARD_ID, PROTECTED) VALUES (?, ?, ?, ?, ?, ?);"),
                {QString::fromUtf8(caption), int64_t(profile.PrevID() < 0 ? 0 : profile.PrevID()),
                 DatUtils::DateTimeToNumberText(profile.Date), profile.GetAsCodedString(),
                 int64_t(profile.UseOriginalId()), int64_t(profile.IsReadOnly())})) {
            messages.emplace_back(QStringLiteral("Ошибка при записи в базу данных профиля \"%1\"")
                                      .arg(QString::fromUtf8(caption)),
                                  DatUtils::MessageCaption);
            result = -1;
        }
    }
    ShowMessages(messages);
    return result;
}

bool LoadProfiles(TSecProfileList &list)
{
    TMessages messages;
    bool result = false;
    {
        std::lock_guard guard(dbMutex);
        list.Clear();
        auto table = Db().GetTable(QStringLiteral("SELECT * FROM Profiles"));
        if (table->Count() == 0)
            return false;
        const int colId = table->FieldIndex(QStringLiteral("ID_PROF"));
        const int colCaption = table->FieldIndex(QStringLiteral("CAPTION"));
        const int colDate = table->FieldIndex(QStringLiteral("MODIF_DATE"));
        const int colPrev = table->FieldIndex(QStringLiteral("PREV_PROF_ID"));
        const int colOrig = table->FieldIndex(QStringLiteral("USE_ORIG_CARD_ID"));
        const int colProt = table->FieldIndex(QStringLiteral("PROTECTED"));
        const int colKey = table->FieldIndex(QStringLiteral("KEYDATA"));
        for (; !table->Eof(); table->Next()) {
            auto profile = std::make_unique<TSecProfile>();
            profile->SetID(int32_t(table->FieldAsInteger(colId)));
            profile->Caption = table->FieldAsString(colCaption);
            double date = 0;
            profile->Date = DatUtils::TryNumberTextToDateTime(table->FieldAsString(colDate), date)
                                ? date
                                : NowAsDateTime();
            profile->SetPrevID(int32_t(table->FieldAsInteger(colPrev)));
            profile->SetUseOriginalId(int32_t(table->FieldAsInteger(colOrig)));
            profile->SetIsReadOnly(int32_t(table->FieldAsInteger(colProt)));
            try {
                DecodeKeyData(*profile, table->FieldAsString(colKey));
            } catch (const EConvertError &) {
                // Keys that cannot be read would be written to cards as zeros: such a
                // profile is left out of the list; its row stays as it is.
                messages.emplace_back(
                    QStringLiteral(
                        "Ключевые данные профиля \"%1\" (ID %2) повреждены; профиль не загружен.")
                        .arg(profile->Caption)
                        .arg(profile->ID()),
                    QStringLiteral("Ошибка профиля"));
                continue;
            }
            profile->SetActive(false);
            list.Add(std::move(profile));
        }
        result = true;
    }
    ShowMessages(messages);
    return result;
}

bool DeleteProfile(int32_t ID)
{
    std::lock_guard guard(dbMutex);
    return WriteInTransaction(QStringLiteral("DELETE FROM Profiles WHERE ID_PROF = ?"),
                              {int64_t(ID)});
}

bool ShowProfiles(TReportModel &view)
{
    std::lock_guard guard(dbMutex);
    TUpdateScope scope(view);
    view.SetColumns(DatUtils::ProfilesColumns());
    view.Clear();
    auto table =
        Db().GetTable(QStringLiteral("SELECT p1.*, p2.CAPTION AS CAPTION_PREV FROM Profiles p1 "
                                     "LEFT JOIN Profiles p2 ON p1.PREV_PROF_ID = "
                                     "p2.ID_PROF"));
    if (table->Count() == 0)
        return false;
    const int colCaption = table->FieldIndex(QStringLiteral("CAPTION"));
    const int colPrev = table->FieldIndex(QStringLiteral("CAPTION_PREV"));
    const int colDate = table->FieldIndex(QStringLiteral("MODIF_DATE"));
    const int colOrig = table->FieldIndex(QStringLiteral("USE_ORIG_CARD_ID"));
    const int colProt = table->FieldIndex(QStringLiteral("PROTECTED"));
    const int colKey = table->FieldIndex(QStringLiteral("KEYDATA"));
    const QString yes = QStringLiteral("ДА"), no = QStringLiteral("нет");
    TTimeFormatter timeFormat;
    int n = 1;
    for (; !table->Eof(); table->Next(), ++n) {
        double date = 0;
        if (!DatUtils::TryNumberTextToDateTime(table->FieldAsString(colDate), date))
            date = NowAsDateTime();
        const bool prot = table->FieldAsInteger(colProt) != 0;
        const bool orig = table->FieldAsInteger(colOrig) != 0;
        // A row whose key data does not decode shows "?" as its sector.
        QString sector = QStringLiteral("?");
        try {
            TSecProfile scratch;
            DecodeKeyData(scratch, table->FieldAsString(colKey));
            sector = QString::number(scratch.Sector);
        } catch (const EConvertError &) {
        }
        QString prev = table->FieldAsString(colPrev);
        if (prev.isEmpty())
            prev = QStringLiteral("----");
        view.AddRow({QString::number(n), table->FieldAsString(colCaption), prev,
                     DatUtils::FormatDatePart(date), timeFormat.Format(DatUtils::TimePart(date)),
                     sector, orig ? yes : no, prot ? yes : no});
    }
    return true;
}

int64_t GetMaxCardNum()
{
    std::lock_guard guard(dbMutex);
    auto table = Db().GetTable(QStringLiteral("SELECT Max(CARD_NUM) from Cards"));
    const int64_t max = table->FieldAsInteger(QStringLiteral("Max(CARD_NUM)"));
    const int32_t m = int32_t(uint32_t(uint64_t(max)));
    if (m < 4096)
        return 4096;
    return int64_t(int32_t(uint32_t(m) + 1u)); // wraps like the card's 32-bit number
}

int32_t AddCard(int32_t ProfID, int32_t Master, int64_t Serial, int64_t CardNum)
{
    TMessages messages;
    int32_t result = 0;
    {
        std::lock_guard guard(dbMutex);
        if (!WriteInTransaction(
                QStringLiteral("INSERT INTO Cards(PROF_ID, CARD_DATE, SERIAL, CARD_NUM, MASTER) "
                               "VALUES (?, ?, ?, ?, ?);"),
                {int64_t(ProfID), DatUtils::DateTimeToNumberText(NowAsDateTime()), Serial, CardNum,
                 int64_t(Master)})) {
            messages.emplace_back(QStringLiteral("Ошибка при записи в базу данных карт."),
                                  DatUtils::MessageCaption);
            result = -1;
        }
    }
    ShowMessages(messages);
    return result;
}

bool DeleteCard(int64_t Serial)
{
    std::lock_guard guard(dbMutex);
    return WriteInTransaction(QStringLiteral("DELETE FROM Cards WHERE SERIAL = ?"), {Serial});
}

bool UpdateCard(int32_t ProfID, int64_t Serial, int64_t CardNum)
{
    std::lock_guard guard(dbMutex);
    return WriteInTransaction(
        QStringLiteral(
            "UPDATE Cards SET CARD_NUM = ?, PROF_ID = ?, CARD_DATE = ? WHERE SERIAL = ?"),
        {CardNum, int64_t(ProfID), DatUtils::DateTimeToNumberText(NowAsDateTime()), Serial});
}

bool ShowCards(TReportModel &view)
{
    TMessages messages;
    bool result = false;
    try {
        std::lock_guard guard(dbMutex);
        TUpdateScope scope(view);
        view.SetColumns(DatUtils::CardsColumns());
        view.Clear();
        TSQLiteStatement query(
            Db(), QStringLiteral("SELECT Profiles.CAPTION, Cards.ID_CARD, Cards.CARD_DATE,  "
                                 "Cards.SERIAL,  Cards.CARD_NUM,  Cards.MASTER  from Cards "
                                 "join Profiles on Cards.PROF_ID= Profiles.ID_PROF"));
        const QByteArray yes = QStringLiteral("ДА").toUtf8(), no = QStringLiteral("нет").toUtf8();
        const double now = NowAsDateTime();
        TTimeFormatter timeFormat;
        TDateCache dates;
        std::string number, time, serial, cardNum;
        int n = 0;
        while (query.Next()) {
            ++n;
            number.clear();
            number += std::to_string(n);
            double date = 0;
            if (!DatUtils::TryNumberTextToDateTime(query.ColumnUtf8(2), date))
                date = now;
            time.clear();
            timeFormat.Append(time, DatUtils::TimePart(date));

            // An integer value reads as its decimal text would; only other values go
            // through the text.
            int64_t value = 0;
            if (query.ColumnType(3) == SQLITE_INTEGER) {
                value = query.ColumnInt64(3);
            } else if (const QByteArrayView serialText = query.ColumnUtf8(3);
                       !ParseInt64Prefix(serialText, value))
                messages.emplace_back(QStringLiteral("Error card serial conversion (%1)")
                                          .arg(QString::fromUtf8(serialText)),
                                      DatUtils::MessageCaption);
            serial.clear();
            AppendHexCell(serial, value);

            if (query.ColumnType(4) == SQLITE_INTEGER) {
                value = query.ColumnInt64(4);
            } else if (const QByteArrayView numText = query.ColumnUtf8(4);
                       !ParseInt64Prefix(numText, value))
                throw EConvertError(QStringLiteral("'%1' is not a valid integer value")
                                        .arg(QString::fromUtf8(numText))
                                        .toStdString());
            cardNum.clear();
            AppendHexCell(cardNum, value);

            view.AddRowUtf8({QByteArrayView(number.data(), qsizetype(number.size())),
                             query.ColumnUtf8(0), DateCell(dates.Get(date)),
                             QByteArrayView(time.data(), qsizetype(time.size())),
                             QByteArrayView(serial.data(), qsizetype(serial.size())),
                             QByteArrayView(cardNum.data(), qsizetype(cardNum.size())),
                             query.ColumnInt64(5) != 0 ? QByteArrayView(yes) : QByteArrayView(no)});
        }
        result = n > 0;
    } catch (...) {
        ShowMessages(messages);
        throw;
    }
    ShowMessages(messages);
    return result;
}
