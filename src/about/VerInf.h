#pragma once
// TVersionInfo: reader of a file's version block (see winver.h).

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

struct TLongVersion
{
    quint32 MS = 0; // most significant: major << 16 | minor
    quint32 LS = 0; // least significant: release << 16 | build
};

class TVersionInfo
{
public:
    // Keeps a copy of the name and reads the version data; never fails:
    // when the data cannot be read, Valid() is false.
    explicit TVersionInfo(const QString &AFileName);
    ~TVersionInfo();
    TVersionInfo(const TVersionInfo &) = delete;
    TVersionInfo &operator=(const TVersionInfo &) = delete;

    bool Valid() const { return FValid; }

    // The string value VerName of the translation's string table; empty
    // when it is missing or the data is not valid.
    QString GetVerValue(const QString &VerName) const;
    QString Values(const QString &VerName) const { return GetVerValue(VerName); }
    QString operator[](const QString &VerName) const { return GetVerValue(VerName); }

    QString Comments() const;
    QString CompanyName() const;
    QString FileDescription() const;
    QString InternalName() const;
    QString LegalCopyright() const;
    QString LegalTrademarks() const;
    QString OriginalFilename() const;
    QString ProductName() const;
    QString SpecialBuild() const;
    QString PrivateBuild() const;
    // These two fall back to the numbers of the fixed part.
    QString FileVersion() const;
    QString ProductVersion() const;

    TLongVersion FileLongVersion() const;
    TLongVersion ProductLongVersion() const;

private:
    // The translation's string table name ("040904E4"), empty when none.
    QString TranslationText() const;
    // The fixed part; false when the block has none or it is too short.
    bool FixedInfo(TLongVersion *file, TLongVersion *product) const;
    static QString LongVersionText(const TLongVersion &v);

    std::u16string FFileName;
    bool FValid = false;
    quint32 FSize = 0;
    std::unique_ptr<uint8_t[]> FBuffer;
    quint32 FHandle = 0;
};
