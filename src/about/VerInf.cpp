#include "VerInf.h"

#include "winver.h"

#include <cstring>

TVersionInfo::TVersionInfo(const QString &AFileName) : FFileName(AFileName.toStdU16String())
{
    FValid = false;
    FSize = GetFileVersionInfoSizeW(FFileName.c_str(), &FHandle);
    if (FSize == 0)
        return;
    FBuffer = std::make_unique<uint8_t[]>(FSize);
    FValid = GetFileVersionInfoW(FFileName.c_str(), FHandle, FSize, FBuffer.get());
}

TVersionInfo::~TVersionInfo() = default;

QString TVersionInfo::TranslationText() const
{
    void *p = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(FBuffer.get(), u"\\VarFileInfo\\Translation", &p, &len) || len < 4)
        return {};
    quint32 t;
    std::memcpy(&t, p, 4); // language in the low half, code page in the high half
    const quint32 swapped = (t << 16) | (t >> 16);
    return QStringLiteral("%1").arg(swapped, 8, 16, QLatin1Char('0')).toUpper();
}

QString TVersionInfo::GetVerValue(const QString &VerName) const
{
    if (!FValid)
        return {};
    // Without a translation there is no string table to look in.
    const QString table = TranslationText();
    if (table.isEmpty())
        return {};
    // The path is built at whatever length the name needs: a fixed buffer
    // would be overrun by a long name.
    const QString path = QStringLiteral("\\StringFileInfo\\") + table + QLatin1Char('\\') + VerName;
    void *p = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(FBuffer.get(), path.toStdU16String().c_str(), &p, &len) || !p)
        return {};
    // Up to the terminating NUL, and never past the value's own length.
    std::u16string text(len, u'\0');
    std::memcpy(text.data(), p, size_t(len) * 2);
    const size_t nul = text.find(u'\0');
    if (nul != std::u16string::npos)
        text.resize(nul);
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QString TVersionInfo::Comments() const
{
    return GetVerValue(QStringLiteral("Comments"));
}
QString TVersionInfo::CompanyName() const
{
    return GetVerValue(QStringLiteral("CompanyName"));
}
QString TVersionInfo::FileDescription() const
{
    return GetVerValue(QStringLiteral("FileDescription"));
}
QString TVersionInfo::InternalName() const
{
    return GetVerValue(QStringLiteral("InternalName"));
}
QString TVersionInfo::LegalCopyright() const
{
    return GetVerValue(QStringLiteral("LegalCopyright"));
}
QString TVersionInfo::LegalTrademarks() const
{
    return GetVerValue(QStringLiteral("LegalTrademarks"));
}
QString TVersionInfo::OriginalFilename() const
{
    return GetVerValue(QStringLiteral("OriginalFilename"));
}
QString TVersionInfo::ProductName() const
{
    return GetVerValue(QStringLiteral("ProductName"));
}
QString TVersionInfo::SpecialBuild() const
{
    return GetVerValue(QStringLiteral("SpecialBuild"));
}
QString TVersionInfo::PrivateBuild() const
{
    return GetVerValue(QStringLiteral("PrivateBuild"));
}

bool TVersionInfo::FixedInfo(TLongVersion *file, TLongVersion *product) const
{
    if (!FValid)
        return false;
    void *p = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(FBuffer.get(), u"\\", &p, &len) || len < sizeof(VS_FIXEDFILEINFO))
        return false;
    VS_FIXEDFILEINFO fi;
    std::memcpy(&fi, p, sizeof fi);
    if (fi.dwSignature != kFixedFileInfoSignature)
        return false;
    if (file)
        *file = {fi.dwFileVersionMS, fi.dwFileVersionLS};
    if (product)
        *product = {fi.dwProductVersionMS, fi.dwProductVersionLS};
    return true;
}

TLongVersion TVersionInfo::FileLongVersion() const
{
    TLongVersion v;
    FixedInfo(&v, nullptr);
    return v;
}

TLongVersion TVersionInfo::ProductLongVersion() const
{
    TLongVersion v;
    FixedInfo(nullptr, &v);
    return v;
}

QString TVersionInfo::LongVersionText(const TLongVersion &v)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(v.MS >> 16)
        .arg(v.MS & 0xFFFF)
        .arg(v.LS >> 16)
        .arg(v.LS & 0xFFFF);
}

QString TVersionInfo::FileVersion() const
{
    QString s = GetVerValue(QStringLiteral("FileVersion"));
    TLongVersion v;
    if (s.isEmpty() && FixedInfo(&v, nullptr))
        s = LongVersionText(v);
    return s;
}

QString TVersionInfo::ProductVersion() const
{
    QString s = GetVerValue(QStringLiteral("ProductVersion"));
    TLongVersion v;
    if (s.isEmpty() && FixedInfo(nullptr, &v))
        s = LongVersionText(v);
    return s;
}
