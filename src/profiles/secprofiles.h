#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

// A card UID of up to 7 bytes, passed together with its length (4 or 7).
using TSerialNumber = std::array<uint8_t, 7>;
using PSerialNumber = TSerialNumber *;

// A card's own UID and its protected number, as read through the programmed reader.
struct TCradIds
{
    uint8_t Id1[8] = {}; // the card's UID; the first Id1Len bytes are valid
    int32_t Id1Len = 0;  // 4 or 7
    uint8_t Id2[8] = {}; // the protected number, least significant byte first
    int32_t Id2Len = 0;  // 4
};
using PCradIds = TCradIds *;

// A text that is not a valid number where the key data needs one.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The current local date and time as days since 1899-12-30 00:00 (fraction = time of day).
double NowAsDateTime();

// One security profile: a card sector, its two keys, the password that unlocks it.
class TSecProfile
{
public:
    TSecProfile();
    TSecProfile(const TSecProfile &) = default;
    TSecProfile &operator=(const TSecProfile &) = default;

    int32_t fPrevID = 0;
    bool fActive = false;
    int32_t fReadonly = 0;
    int32_t fUseOrigId = 0;
    int32_t fID = 0;

    QString Caption = QStringLiteral("<no name>");
    double Date = 0;
    uint8_t Sector = 1;
    int64_t KeyA = 0;
    int64_t KeyB = 0;
    QString passwd;
    uint8_t srcKey = 1;
    int64_t srcKeyValue = 0;

    int32_t ID() const { return fID; }
    void SetID(int32_t value);
    int32_t PrevID() const { return fPrevID; }
    void SetPrevID(int32_t value) { fPrevID = value; }
    bool Active() const { return fActive; }
    void SetActive(bool value) { fActive = value; }
    int32_t IsReadOnly() const { return fReadonly; }
    void SetIsReadOnly(int32_t value) { fReadonly = value; }
    int32_t UseOriginalId() const { return fUseOrigId; }
    void SetUseOriginalId(int32_t value) { fUseOrigId = value; }

    // Key data "sector:KEYA:KEYB:srcKey:SRCKEYVALUE:password".
    QString GetAsString() const;
    // Assigns the six fields of key data; a text without exactly six words changes
    // nothing, a field that is not a number throws EConvertError (earlier fields stay).
    void SetAsString(const QString &text);
    QString GetAsCodedString() const;
    void SetAsCodedString(const QString &text);

    // True when the password reads back exactly from the stored key data: no ":" and no
    // character outside U+0001 to U+00FF.
    static bool IsStorablePassword(const QString &password);

    static QString EncodeStr(const QString &text, const QString &key);
    static QString DecodeStr(const QString &text, const QString &key);

    // Card operations, run on the card worker against the open reader.
    int32_t WriteCard(PSerialNumber snr, int64_t CardNum, uint8_t slen);
    int32_t EraseCard(PSerialNumber snr, uint8_t slen);
    int32_t WriteMaster(TSecProfile *NewProfile, PSerialNumber snr, int64_t CardNum, uint8_t slen);
    int32_t ReWriteCard(TSecProfile *NewProfile, PSerialNumber snr, int64_t &CardNum, uint8_t slen);
    int32_t PrepareReader();
    int32_t ReadCard(PCradIds Ids);
};

// The key that codes the stored key data; the same for every database.
inline const QString KeyDataCodingKey = QStringLiteral("LumenKeyStoreArchive");

// The owning list of all profiles, in the order the database returned them.
class TSecProfileList
{
public:
    void Add(std::unique_ptr<TSecProfile> profile);
    TSecProfile *Add(TSecProfile *profile); // takes ownership
    int Count() const { return int(items.size()); }
    TSecProfile *GetItem(int i) const; // throws std::out_of_range on a bad index
    TSecProfile *operator[](int i) const { return GetItem(i); }
    void Delete(int i);                      // removes and frees element i
    bool Remove(const TSecProfile *profile); // removes and frees it; false if not held
    int IndexOf(const TSecProfile *profile) const;
    void Clear();

    TSecProfile *ProfileByID(int32_t id) const;
    TSecProfile *ProfileByName(const QString &name) const;

private:
    std::vector<std::unique_ptr<TSecProfile>> items;
};
