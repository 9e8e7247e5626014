#pragma once

// A thin RAII layer over the SQLite C library: a connection (TSQLiteDatabase), a
// short-lived prepared statement (TSQLiteStatement) and a query result kept in memory
// (TSQLiteTable). Every failure is an ESQLiteException whose text says what failed.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class ESQLiteException : public std::runtime_error
{
public:
    explicit ESQLiteException(const QString &message, int code = 0);
    QString Message() const { return message; }
    // SQLite's result code behind the failure; 0 when SQLite reported none.
    int Code() const { return code; }

private:
    QString message;
    int code;
};

// The description of an SQLite result code ("The database file is locked" for 5...).
QString SQLiteErrorDescription(int code);

// A value bound to a statement parameter; std::monostate binds NULL.
using TSQLiteValue = std::variant<std::monostate, int64_t, double, QString, QByteArray>;
using TSQLiteParams = std::vector<TSQLiteValue>;

class TSQLiteTable;

class TSQLiteDatabase
{
public:
    // Opens (and creates when missing, unless readOnly) the file; throws on failure.
    explicit TSQLiteDatabase(const QString &fileName, bool readOnly = false);
    ~TSQLiteDatabase(); // rolls back an open transaction, then closes
    TSQLiteDatabase(const TSQLiteDatabase &) = delete;
    TSQLiteDatabase &operator=(const TSQLiteDatabase &) = delete;

    // Runs a statement that returns no rows. Only the first statement of the text is
    // compiled; the parameters are bound to its "?" placeholders in order.
    void ExecSQL(const QString &sql, const TSQLiteParams &params = {});
    // Runs a query and keeps its whole result.
    std::unique_ptr<TSQLiteTable> GetTable(const QString &sql, const TSQLiteParams &params = {});

    void BeginTransaction();
    void Commit();
    void Rollback();
    bool IsTransactionOpen() const;

    // True when the connection cannot write (a file opened read-only).
    bool IsReadOnly() const;
    void SetBusyTimeout(int milliseconds);
    int64_t LastInsertRowID() const;
    QString FileName() const { return fileName; }
    sqlite3 *Handle() const { return db; }

    // Throws ESQLiteException(message) with the error suffix of the connection's
    // current error code (none when that code is 0).
    [[noreturn]] void RaiseError(const QString &message, const QString &sql) const;

private:
    sqlite3 *db = nullptr;
    QString fileName;
    bool inTransaction = false;
};

// One prepared statement, finalised when the object goes.
class TSQLiteStatement
{
public:
    TSQLiteStatement(TSQLiteDatabase &database, const QString &sql);
    ~TSQLiteStatement();
    TSQLiteStatement(const TSQLiteStatement &) = delete;
    TSQLiteStatement &operator=(const TSQLiteStatement &) = delete;

    // index is 1-based, as SQLite counts parameters.
    void Bind(int index, const TSQLiteValue &value);
    void BindAll(const TSQLiteParams &params);

    // Steps once and requires completion (a statement that returns no rows).
    void Execute();
    // Steps a query: true with a row ready, false when finished.
    bool Next();
    // Makes the statement ready to run again; the bound values stay.
    void Reset();

    int ColumnCount() const;
    QString ColumnName(int i) const;
    QString ColumnDeclType(int i) const; // upper-cased; empty for an expression
    int ColumnType(int i) const;         // SQLITE_INTEGER, SQLITE_TEXT... of the current row
    bool ColumnIsNull(int i) const;
    int64_t ColumnInt64(int i) const;
    double ColumnDouble(int i) const;
    // The value as SQLite renders it in UTF-8; valid until the next step.
    QByteArrayView ColumnUtf8(int i) const;
    QString ColumnText(int i) const;
    QByteArray ColumnBlob(int i) const;

    sqlite3_stmt *Handle() const { return stmt; }
    QString SQL() const { return sql; }

private:
    TSQLiteDatabase &database;
    QString sql;
    sqlite3_stmt *stmt = nullptr;
};

// A query result held in memory, with a row cursor.
class TSQLiteTable
{
public:
    enum class TFieldKind
    {
        Integer,
        Float,
        Text,
        Blob,
        Null
    };

    TSQLiteTable(TSQLiteDatabase &database, const QString &sql, const TSQLiteParams &params = {});

    int Count() const { return int(rows.size()); }
    int ColCount() const { return int(columns.size()); }
    QString Columns(int i) const { return columns.at(size_t(i)); }
    TFieldKind FieldKind(int i) const { return kinds.at(size_t(i)); }

    bool Eof() const { return row >= Count(); }
    bool BOF() const { return row <= 0; }
    void Next()
    {
        if (row < Count())
            ++row;
    }
    void Previous()
    {
        if (row > 0)
            --row;
    }
    void MoveFirst() { row = 0; }
    int Row() const { return row; }

    // The column with this name, compared upper-cased.
    int FieldIndex(const QString &name) const;

    bool FieldIsNull(int i) const;
    int64_t FieldAsInteger(int i) const;
    double FieldAsDouble(int i) const;
    QString FieldAsString(int i) const;
    QByteArray FieldAsBlob(int i) const;

    bool FieldIsNull(const QString &name) const { return FieldIsNull(FieldIndex(name)); }
    int64_t FieldAsInteger(const QString &name) const { return FieldAsInteger(FieldIndex(name)); }
    double FieldAsDouble(const QString &name) const { return FieldAsDouble(FieldIndex(name)); }
    QString FieldAsString(const QString &name) const { return FieldAsString(FieldIndex(name)); }
    QByteArray FieldAsBlob(const QString &name) const { return FieldAsBlob(FieldIndex(name)); }

private:
    using TCell = std::variant<std::monostate, int64_t, double, QByteArray>;
    const TCell &Cell(int i) const;

    std::vector<QString> columns;
    std::vector<QString> upperColumns;
    std::vector<TFieldKind> kinds;
    std::vector<std::vector<TCell>> rows;
    int row = 0;
};
