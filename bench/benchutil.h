#pragma once

// What the benchmarks share: the memory figures of the process, a millisecond clock, and
// a card register filled fast straight through SQLite.

#include "profiles/DatUtils.h"
#include "profiles/SQLiteTable3.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <fstream>
#include <string>

namespace Bench {

// A field of /proc/self/status in kB (VmRSS, VmHWM...); -1 when it is missing.
inline long StatusKb(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

// VmHWM starts again from VmRSS.
inline void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

inline double Ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The serial of the i-th card of a filled register.
inline int64_t SerialOf(int i)
{
    return 0x04000000000000LL + int64_t(i) * 7919;
}

// Adds count cards to the register of the database file at path in one transaction: card
// i has the number 4096 + i, every hundredth is a master card, and profileOf(i) and
// dateOf(i) give its profile and date.
template <class ProfileOf, class DateOf>
void InsertCards(const QString &path, int count, ProfileOf profileOf, DateOf dateOf)
{
    TSQLiteDatabase db(path);
    db.BeginTransaction();
    TSQLiteStatement insert(
        db, QStringLiteral("INSERT INTO Cards(PROF_ID, CARD_DATE, SERIAL, CARD_NUM, MASTER) "
                           "VALUES (?, ?, ?, ?, ?)"));
    for (int i = 0; i < count; ++i) {
        insert.BindAll({int64_t(profileOf(i)), DatUtils::DateTimeToNumberText(dateOf(i)),
                        SerialOf(i), int64_t(4096 + i), int64_t(i % 100 == 0)});
        insert.Execute();
        insert.Reset();
    }
    db.Commit();
}

} // namespace Bench
