#include "profiles/SQLiteTable3.h"

#include <sqlite3.h>

#include <cmath>
#include <limits>

ESQLiteException::ESQLiteException(const QString &message, int code)
    : std::runtime_error(message.toStdString()), message(message), code(code)
{
}

QString SQLiteErrorDescription(int code)
{
    switch (code) {
    case 0:
        return QStringLiteral("Successful result");
    case 1:
        return QStringLiteral("SQL error or missing database");
    case 2:
        return QStringLiteral("An internal logic error in SQLite");
    case 3:
        return QStringLiteral("Access permission denied");
    case 4:
        return QStringLiteral("Callback routine requested an abort");
    case 5:
        return QStringLiteral("The database file is locked");
    case 6:
        return QStringLiteral("A table in the database is locked");
    case 7:
        return QStringLiteral("A malloc() failed");
    case 8:
        return QStringLiteral("Attempt to write a readonly database");
    case 9:
        return QStringLiteral("Operation terminated by sqlite3_interrupt()");
    case 10:
        return QStringLiteral("Some kind of disk I/O error occurred");
    case 11:
        return QStringLiteral("The database disk image is malformed");
    case 12:
        return QStringLiteral("(Internal Only) Table or record not found");
    case 13:
        return QStringLiteral("Insertion failed because database is full");
    case 14:
        return QStringLiteral("Unable to open the database file");
    case 15:
        return QStringLiteral("Database lock protocol error");
    case 16:
        return QStringLiteral("Database is empty");
    case 17:
        return QStringLiteral("The database schema changed");
    case 18:
        return QStringLiteral("Too much data for one row of a table");
    case 19:
        return QStringLiteral("Abort due to contraint violation");
    case 20:
        return QStringLiteral("Data type mismatch");
    case 21:
        return QStringLiteral("Library used incorrectly");
    case 22:
        return QStringLiteral("Uses OS features not supported on host");
    case 23:
        return QStringLiteral("Authorization denied");
    case 24:
        return QStringLiteral("Auxiliary database format error");
    case 25:
        return QStringLiteral("2nd parameter to sqlite3_bind out of range");
    case 26:
        return QStringLiteral("File opened that is not a database file");
    case 100:
        return QStringLiteral("sqlite3_step() has another row ready");
    case 101:
        return QStringLiteral("sqlite3_step() has finished executing");
    default:
        return QStringLiteral("Unknown SQLite Error Code \"%1\"").arg(code);
    }
}

// ---------------------------------------------------------------------------------------
// TSQLiteDatabase

TSQLiteDatabase::TSQLiteDatabase(const QString &fileName, bool readOnly) : fileName(fileName)
{
    const QByteArray path = fileName.toUtf8();
    const int flags =
        readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    const int rc = sqlite3_open_v2(path.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        QString message;
        if (db) {
            message = QStringLiteral("Failed to open database \"%1\" : %2")
                          .arg(fileName, QString::fromUtf8(sqlite3_errmsg(db)));
            sqlite3_close(db);
            db = nullptr;
        } else {
            message =
                QStringLiteral("Failed to open database \"%1\" : unknown error").arg(fileName);
        }
        throw ESQLiteException(message, rc);
    }
}

TSQLiteDatabase::~TSQLiteDatabase()
{
    if (IsTransactionOpen()) {
        try {
            Rollback();
        } catch (const ESQLiteException &) {
            // the connection goes anyway; SQLite drops the open transaction on close
        }
    }
    sqlite3_close_v2(db);
}

void TSQLiteDatabase::RaiseError(const QString &message, const QString &sql) const
{
    const int code = sqlite3_errcode(db);
    if (code == 0)
        throw ESQLiteException(message);
    throw ESQLiteException(message + QStringLiteral(".\rError [%1]: %2.\r\"%3\": %4")
                                         .arg(code)
                                         .arg(SQLiteErrorDescription(code), sql,
                                              QString::fromUtf8(sqlite3_errmsg(db))),
                           code);
}

void TSQLiteDatabase::ExecSQL(const QString &sql, const TSQLiteParams &params)
{
    TSQLiteStatement statement(*this, sql);
    statement.BindAll(params);
    statement.Execute();
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::GetTable(const QString &sql,
                                                        const TSQLiteParams &params)
{
    return std::make_unique<TSQLiteTable>(*this, sql, params);
}

bool TSQLiteDatabase::IsTransactionOpen() const
{
    // A failed statement can end the transaction inside SQLite (a full disk, an
    // interrupt); the connection's autocommit state is the truth then.
    return inTransaction && sqlite3_get_autocommit(db) == 0;
}

void TSQLiteDatabase::BeginTransaction()
{
    if (IsTransactionOpen())
        throw ESQLiteException(QStringLiteral("Transaction already open"));
    ExecSQL(QStringLiteral("BEGIN TRANSACTION"));
    inTransaction = true;
}

void TSQLiteDatabase::Commit()
{
    ExecSQL(QStringLiteral("COMMIT"));
    inTransaction = false;
}

void TSQLiteDatabase::Rollback()
{
    try {
        ExecSQL(QStringLiteral("ROLLBACK"));
    } catch (const ESQLiteException &) {
        // Nothing left to roll back when SQLite already ended the transaction.
        if (sqlite3_get_autocommit(db) != 0) {
            inTransaction = false;
            return;
        }
        throw;
    }
    inTransaction = false;
}

bool TSQLiteDatabase::IsReadOnly() const
{
    return sqlite3_db_readonly(db, "main") == 1;
}

void TSQLiteDatabase::SetBusyTimeout(int milliseconds)
{
    sqlite3_busy_timeout(db, milliseconds);
}

int64_t TSQLiteDatabase::LastInsertRowID() const
{
    return sqlite3_last_insert_rowid(db);
}

// ---------------------------------------------------------------------------------------
// TSQLiteStatement

TSQLiteStatement::TSQLiteStatement(TSQLiteDatabase &database, const QString &sql)
    : database(database), sql(sql)
{
    const QByteArray text = sql.toUtf8();
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(database.Handle(), text.constData(), int(text.size()), &stmt, &tail) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
        database.RaiseError(QStringLiteral("Error executing SQL"), sql);
    }
    if (!stmt)
        database.RaiseError(QStringLiteral("Could not prepare SQL statement"), sql);
}

TSQLiteStatement::~TSQLiteStatement()
{
    sqlite3_finalize(stmt);
}

void TSQLiteStatement::Bind(int index, const TSQLiteValue &value)
{
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value)) {
        rc = sqlite3_bind_null(stmt, index);
    } else if (auto i = std::get_if<int64_t>(&value)) {
        rc = sqlite3_bind_int64(stmt, index, *i);
    } else if (auto d = std::get_if<double>(&value)) {
        rc = sqlite3_bind_double(stmt, index, *d);
    } else if (auto s = std::get_if<QString>(&value)) {
        const QByteArray utf8 = s->toUtf8();
        rc = sqlite3_bind_text64(stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                                 SQLITE_TRANSIENT, SQLITE_UTF8);
    } else if (auto b = std::get_if<QByteArray>(&value)) {
        rc = sqlite3_bind_blob64(stmt, index, b->constData(), sqlite3_uint64(b->size()),
                                 SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        database.RaiseError(QStringLiteral("Error binding SQL parameter %1").arg(index), sql);
}

void TSQLiteStatement::BindAll(const TSQLiteParams &params)
{
    for (size_t i = 0; i < params.size(); ++i)
        Bind(int(i) + 1, params[i]);
}

void TSQLiteStatement::Execute()
{
    if (sqlite3_step(stmt) != SQLITE_DONE)
        database.RaiseError(QStringLiteral("Error executing SQL statement"), sql);
}

bool TSQLiteStatement::Next()
{
    switch (sqlite3_step(stmt)) {
    case SQLITE_ROW:
        return true;
    case SQLITE_DONE:
        return false;
    case SQLITE_BUSY:
        throw ESQLiteException(QStringLiteral("Could not prepare SQL statement"), SQLITE_BUSY);
    default:
        database.RaiseError(QStringLiteral("Could not retrieve data"), sql);
    }
}

void TSQLiteStatement::Reset()
{
    sqlite3_reset(stmt);
}

int TSQLiteStatement::ColumnCount() const
{
    return sqlite3_column_count(stmt);
}

QString TSQLiteStatement::ColumnName(int i) const
{
    return QString::fromUtf8(sqlite3_column_name(stmt, i));
}

QString TSQLiteStatement::ColumnDeclType(int i) const
{
    const char *type = sqlite3_column_decltype(stmt, i);
    return type ? QString::fromUtf8(type).toUpper() : QString();
}

int TSQLiteStatement::ColumnType(int i) const
{
    return sqlite3_column_type(stmt, i);
}

bool TSQLiteStatement::ColumnIsNull(int i) const
{
    return sqlite3_column_type(stmt, i) == SQLITE_NULL;
}

int64_t TSQLiteStatement::ColumnInt64(int i) const
{
    return sqlite3_column_int64(stmt, i);
}

double TSQLiteStatement::ColumnDouble(int i) const
{
    return sqlite3_column_double(stmt, i);
}

QByteArrayView TSQLiteStatement::ColumnUtf8(int i) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
    const int size = sqlite3_column_bytes(stmt, i);
    return text ? QByteArrayView(text, size) : QByteArrayView();
}

QString TSQLiteStatement::ColumnText(int i) const
{
    return QString::fromUtf8(ColumnUtf8(i));
}

QByteArray TSQLiteStatement::ColumnBlob(int i) const
{
    const void *data = sqlite3_column_blob(stmt, i);
    const int size = sqlite3_column_bytes(stmt, i);
    return data ? QByteArray(static_cast<const char *>(data), size) : QByteArray();
}

// ---------------------------------------------------------------------------------------
// TSQLiteTable

namespace {

TSQLiteTable::TFieldKind KindOfDeclType(const QString &type)
{
    using K = TSQLiteTable::TFieldKind;
    if (type == QLatin1String("INTEGER") || type == QLatin1String("BOOLEAN"))
        return K::Integer;
    if (type == QLatin1String("NUMERIC") || type == QLatin1String("FLOAT") ||
        type == QLatin1String("DOUBLE") || type == QLatin1String("REAL"))
        return K::Float;
    if (type == QLatin1String("BLOB"))
        return K::Blob;
    return K::Text;
}

TSQLiteTable::TFieldKind KindOfStorage(int type)
{
    using K = TSQLiteTable::TFieldKind;
    switch (type) {
    case SQLITE_INTEGER:
        return K::Integer;
    case SQLITE_FLOAT:
        return K::Float;
    case SQLITE_BLOB:
        return K::Blob;
    case SQLITE_NULL:
        return K::Null;
    default:
        return K::Text;
    }
}

} // namespace

TSQLiteTable::TSQLiteTable(TSQLiteDatabase &database, const QString &sql,
                           const TSQLiteParams &params)
{
    TSQLiteStatement statement(database, sql);
    statement.BindAll(params);
    const int n = statement.ColumnCount();
    std::vector<bool> typed(size_t(n), false);
    for (int i = 0; i < n; ++i) {
        columns.push_back(statement.ColumnName(i));
        upperColumns.push_back(columns.back().toUpper());
        const QString type = statement.ColumnDeclType(i);
        typed[size_t(i)] = !type.isEmpty();
        kinds.push_back(type.isEmpty() ? TFieldKind::Null : KindOfDeclType(type));
    }
    while (statement.Next()) {
        if (rows.empty()) {
            // A column without a declared type takes the storage class of its first value.
            for (int i = 0; i < n; ++i)
                if (!typed[size_t(i)])
                    kinds[size_t(i)] = KindOfStorage(statement.ColumnType(i));
        }
        std::vector<TCell> cells(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            if (statement.ColumnIsNull(i))
                continue;
            switch (kinds[size_t(i)]) {
            case TFieldKind::Integer:
                cells[size_t(i)] = statement.ColumnInt64(i);
                break;
            case TFieldKind::Float:
                cells[size_t(i)] = statement.ColumnDouble(i);
                break;
            case TFieldKind::Blob:
                cells[size_t(i)] = statement.ColumnBlob(i);
                break;
            case TFieldKind::Text:
            case TFieldKind::Null:
                cells[size_t(i)] = statement.ColumnUtf8(i).toByteArray();
                break;
            }
        }
        rows.push_back(std::move(cells));
    }
}

int TSQLiteTable::FieldIndex(const QString &name) const
{
    if (columns.empty())
        throw ESQLiteException(QStringLiteral("Field %1 Not found. Empty dataset").arg(name));
    const QString upper = name.toUpper();
    for (size_t i = 0; i < upperColumns.size(); ++i)
        if (upperColumns[i] == upper)
            return int(i);
    throw ESQLiteException(QStringLiteral("Field not found in dataset: %1").arg(name));
}

const TSQLiteTable::TCell &TSQLiteTable::Cell(int i) const
{
    if (Eof())
        throw ESQLiteException(QStringLiteral("Table is at End of File"));
    if (i < 0 || i >= ColCount())
        throw ESQLiteException(QStringLiteral("Field not found in dataset: %1").arg(i));
    return rows[size_t(row)][size_t(i)];
}

bool TSQLiteTable::FieldIsNull(int i) const
{
    return std::holds_alternative<std::monostate>(Cell(i));
}

int64_t TSQLiteTable::FieldAsInteger(int i) const
{
    const TCell &cell = Cell(i);
    if (kinds[size_t(i)] == TFieldKind::Text || kinds[size_t(i)] == TFieldKind::Blob)
        throw ESQLiteException(QStringLiteral("Not an integer or numeric field"));
    if (auto v = std::get_if<int64_t>(&cell))
        return *v;
    if (auto d = std::get_if<double>(&cell)) {
        if (!(std::fabs(*d) < 9.2e18))
            return 0;
        return int64_t(*d);
    }
    return 0;
}

double TSQLiteTable::FieldAsDouble(int i) const
{
    const TCell &cell = Cell(i);
    if (kinds[size_t(i)] == TFieldKind::Text || kinds[size_t(i)] == TFieldKind::Blob)
        throw ESQLiteException(QStringLiteral("Not an integer or numeric field"));
    if (auto v = std::get_if<int64_t>(&cell))
        return double(*v);
    if (auto d = std::get_if<double>(&cell))
        return *d;
    return 0;
}

QString TSQLiteTable::FieldAsString(int i) const
{
    const TCell &cell = Cell(i);
    if (auto v = std::get_if<int64_t>(&cell))
        return QString::number(*v);
    if (auto d = std::get_if<double>(&cell))
        return QString::number(*d, 'g', 15);
    if (auto b = std::get_if<QByteArray>(&cell))
        return kinds[size_t(i)] == TFieldKind::Blob ? QString::fromLatin1(*b)
                                                    : QString::fromUtf8(*b);
    return {};
}

QByteArray TSQLiteTable::FieldAsBlob(int i) const
{
    const TCell &cell = Cell(i);
    if (auto b = std::get_if<QByteArray>(&cell))
        return *b;
    return {};
}
