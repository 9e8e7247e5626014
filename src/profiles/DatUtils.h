#pragma once

// The database of profiles and cards: one SQLite file beside the program. Every routine
// may be called from any thread; one lock serialises them.
//
// Routines that write (SaveProfile, AddProfile, AddCard, DeleteProfile, DeleteCard,
// UpdateCard) catch their own errors, roll back and return -1 / false. The others
// (OpenDatabase, LoadProfiles, ShowProfiles, GetMaxCardNum, ShowCards) let an error
// travel to the caller as an exception (ESQLiteException, EConvertError, or another
// std::exception) whose what() is the text for the operator.

#include "profiles/SQLiteTable3.h"
#include "profiles/secprofiles.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <cstdint>
#include <functional>

class TReportModel;

namespace DatUtils {

// Shows a message to the operator in a plain message box (text, window caption). The
// main window connects its message box here; without a handler the text goes to the
// log. The handler is called on the thread that called the routine, never while the
// database lock is held.
using TMessageHandler = std::function<void(const QString &text, const QString &caption)>;
void SetMessageHandler(TMessageHandler handler);

// The column titles of the profile and card lists (ShowProfiles and ShowCards set them).
QStringList ProfilesColumns();
QStringList CardsColumns();

// The caption of plain message boxes.
inline const QString MessageCaption = QStringLiteral("Tagor");

// The executable's path with its extension replaced by ".db3".
QString DefaultDatabasePath();
// The path of the open (or last opened) database.
QString DatabasePath();
bool IsDatabaseOpen();
// True when the open database cannot be written.
bool IsDatabaseReadOnly();
// Closes the connection (at exit; rolls back an open transaction).
void CloseDatabase();

// A date-time value as stored: general format, at most 15 significant digits, the
// current locale's decimal separator (QLocale()).
QString DateTimeToNumberText(double value);
// Reads a stored date-time number written with either decimal separator.
bool TryNumberTextToDateTime(QByteArrayView text, double &value);
bool TryNumberTextToDateTime(const QString &text, double &value);
QDate DatePart(double value);
QTime TimePart(double value);
// The date and time as the lists show them: the locale's short date and its long time
// format without the time zone.
QString FormatDatePart(double value);
QString FormatTimePart(double value);

// The caption as stored: UTF-8, cut at a character boundary to at most 63 bytes.
QByteArray CaptionToStored(const QString &caption);

} // namespace DatUtils

// Opens the database (path empty: DatUtils::DefaultDatabasePath()). A missing file (or an
// empty one) is created and seeded with the profiles "Пустой" (ID 1) and "Транспортный"
// (ID 2). The indexes on Cards(CARD_NUM) and Cards(SERIAL) are created when missing,
// unless the file is read-only. readOnly opens the file without write access.
// Throws ESQLiteException when the file cannot be used; the database is then not open.
void OpenDatabase(const QString &path = QString(), bool readOnly = false);

int32_t AddProfile(const QString &Caption, uint8_t Sector, const QString &Passwd, int64_t KeyA,
                   int64_t KeyB, int32_t PrevID, uint8_t SrcKey, int64_t SrcKeyValue,
                   int32_t UseOrigId, int32_t ReadOnly);
int32_t SaveProfile(const TSecProfile &profile);
bool LoadProfiles(TSecProfileList &list);
bool DeleteProfile(int32_t ID);
bool ShowProfiles(TReportModel &view);
int64_t GetMaxCardNum();
int32_t AddCard(int32_t ProfID, int32_t Master, int64_t Serial, int64_t CardNum);
bool DeleteCard(int64_t Serial);
bool UpdateCard(int32_t ProfID, int64_t Serial, int64_t CardNum);
bool ShowCards(TReportModel &view);
