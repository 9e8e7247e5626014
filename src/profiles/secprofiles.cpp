#include "profiles/secprofiles.h"

#include <QDateTime>
#include <QStringList>

double NowAsDateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 days = QDate(1899, 12, 30).daysTo(now.date());
    return double(days) + double(now.time().msecsSinceStartOfDay()) / 86400000.0;
}

TSecProfile::TSecProfile() : Date(NowAsDateTime()) {}

void TSecProfile::SetID(int32_t value)
{
    if (value == fID)
        return;
    fID = value;
    fActive = false;
}

namespace {

QString Hex16(int64_t value)
{
    return QStringLiteral("%1").arg(quint64(value), 16, 16, QLatin1Char('0')).toUpper();
}

[[noreturn]] void BadNumber(const QString &field, bool hex)
{
    const QString msg = hex ? QStringLiteral("'%1' is not a valid hexadecimal value").arg(field)
                            : QStringLiteral("'%1' is not a valid integer value").arg(field);
    throw EConvertError(msg.toStdString());
}

int32_t ParseDecimal(const QString &field)
{
    bool ok = false;
    const int value = field.toInt(&ok, 10);
    // toInt tolerates surrounding blanks; a stored field never has them.
    if (!ok || field.trimmed().size() != field.size())
        BadNumber(field, false);
    return value;
}

int64_t ParseHex(const QString &field)
{
    if (field.isEmpty())
        BadNumber(field, true);
    uint64_t value = 0;
    for (QChar c : field) {
        const int digit = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
        if (digit < 0 || c.unicode() > 0x7F)
            BadNumber(field, true);
        // Leading zeros beyond 16 digits are harmless; a 17th significant digit is not.
        if (value >> 60)
            BadNumber(field, true);
        value = (value << 4) | uint64_t(digit);
    }
    return int64_t(value);
}

QString KeyStream(const QString &key, qsizetype length)
{
    QString stream;
    while (stream.size() < length)
        stream += key;
    stream.truncate(length);
    return stream;
}

} // namespace

QString TSecProfile::GetAsString() const
{
    QString password = passwd;
    password.replace(QLatin1Char(':'), QChar(0x044A));
    return QString::number(Sector) + QLatin1Char(':') + Hex16(KeyA) + QLatin1Char(':') +
           Hex16(KeyB) + QLatin1Char(':') + QString::number(srcKey) + QLatin1Char(':') +
           Hex16(srcKeyValue) + QLatin1Char(':') + password;
}

void TSecProfile::SetAsString(const QString &text)
{
    if (text.split(QLatin1Char(':'), Qt::SkipEmptyParts).size() != 6)
        return;
    const QStringList fields = text.split(QLatin1Char(':'));
    // Six words with empty fields in between can put a word past field 6; read what is
    // there by position and let an empty numeric field fail as a bad number.
    auto field = [&fields](int n) { return n < fields.size() ? fields.at(n) : QString(); };
    Sector = uint8_t(ParseDecimal(field(0)) & 0xFF);
    KeyA = ParseHex(field(1));
    KeyB = ParseHex(field(2));
    srcKey = uint8_t(ParseDecimal(field(3)) & 0xFF);
    srcKeyValue = ParseHex(field(4));
    passwd = field(5);
}

bool TSecProfile::IsStorablePassword(const QString &password)
{
    for (QChar c : password)
        if (c.unicode() == 0 || c.unicode() > 0xFF || c == QLatin1Char(':'))
            return false;
    return true;
}

QString TSecProfile::GetAsCodedString() const
{
    return EncodeStr(GetAsString(), KeyDataCodingKey);
}

void TSecProfile::SetAsCodedString(const QString &text)
{
    if (text.isEmpty())
        return;
    SetAsString(DecodeStr(text, KeyDataCodingKey));
}

QString TSecProfile::EncodeStr(const QString &text, const QString &key)
{
    if (key.isEmpty())
        return {};
    const QString stream = KeyStream(key, text.size());
    QString result;
    result.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const unsigned b = (text.at(i).unicode() & 0xFF) ^ (stream.at(i).unicode() & 0xFF);
        result += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return result;
}

QString TSecProfile::DecodeStr(const QString &text, const QString &key)
{
    if (key.isEmpty())
        return {};
    const qsizetype n = text.size() / 2;
    const QString stream = KeyStream(key, n);
    QString result;
    result.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        auto hexDigit = [](QChar c) -> int {
            const char16_t u = c.unicode();
            if (u >= u'0' && u <= u'9')
                return u - u'0';
            if (u >= u'a' && u <= u'f')
                return u - u'a' + 10;
            if (u >= u'A' && u <= u'F')
                return u - u'A' + 10;
            return -1;
        };
        const int hi = hexDigit(text.at(2 * i));
        const int lo = hexDigit(text.at(2 * i + 1));
        if (hi < 0 || lo < 0)
            return {};
        result += QChar(char16_t(((hi << 4) | lo) ^ (stream.at(i).unicode() & 0xFF)));
    }
    return result;
}

void TSecProfileList::Add(std::unique_ptr<TSecProfile> profile)
{
    items.push_back(std::move(profile));
}

TSecProfile *TSecProfileList::Add(TSecProfile *profile)
{
    items.emplace_back(profile);
    return profile;
}

TSecProfile *TSecProfileList::GetItem(int i) const
{
    if (i < 0 || i >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
    return items[size_t(i)].get();
}

void TSecProfileList::Delete(int i)
{
    GetItem(i);
    items.erase(items.begin() + i);
}

int TSecProfileList::IndexOf(const TSecProfile *profile) const
{
    for (int i = 0; i < Count(); ++i)
        if (items[size_t(i)].get() == profile)
            return i;
    return -1;
}

bool TSecProfileList::Remove(const TSecProfile *profile)
{
    const int i = IndexOf(profile);
    if (i < 0)
        return false;
    Delete(i);
    return true;
}

void TSecProfileList::Clear()
{
    items.clear();
}

TSecProfile *TSecProfileList::ProfileByID(int32_t id) const
{
    for (const auto &p : items)
        if (p->ID() == id)
            return p.get();
    return nullptr;
}

TSecProfile *TSecProfileList::ProfileByName(const QString &name) const
{
    for (const auto &p : items)
        if (p->Caption == name)
            return p.get();
    return nullptr;
}
