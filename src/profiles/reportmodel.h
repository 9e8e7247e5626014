#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// The rows of a report-style list view: column titles and rows of texts. The texts are
// kept as UTF-8 in large chunks (no allocation per cell, no copying as the list grows),
// so a million rows stay cheap; a fill between BeginUpdate and EndUpdate resets the
// model once.
class TReportModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TReportModel(QObject *parent = nullptr);
    TReportModel(const QStringList &titles, QObject *parent = nullptr);

    void SetColumns(const QStringList &titles);
    QStringList Columns() const { return titles; }

    // Removes every row (the columns stay).
    void Clear();
    // Rows added between these two calls reach the views with one reset; calls nest.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return updating > 0; }

    // Adds a row; missing cells are empty, cells beyond the columns are dropped.
    void AddRow(const QStringList &cells);
    void AddRow(std::initializer_list<QStringView> cells);
    // The same with cells already in UTF-8.
    void AddRowUtf8(std::initializer_list<QByteArrayView> cells);

    int RowCount() const { return nRows; }
    QString Cell(int row, int column) const;
    QStringList Row(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    static constexpr size_t ChunkSize = size_t(1) << 20;

    void BeginAppend();
    void EndAppend();
    static void AppendUtf16(std::string &out, QStringView text);
    // Stores the row kept in rowBuffer with its cell ends (relative to the row).
    void StoreRow();
    const char *At(uint64_t position) const;

    QStringList titles;
    std::vector<std::unique_ptr<char[]>> chunks; // the rows' UTF-8; a row never spans two chunks
    size_t chunkUsed = ChunkSize;                // bytes used in the last chunk
    std::deque<uint64_t> rowStarts;              // position of each row: chunk * ChunkSize + offset
    std::deque<uint32_t> cellEnds;               // end of each cell relative to its row's start
    std::string rowBuffer;                       // the row being added
    std::vector<uint32_t> rowCellEnds;
    int nRows = 0;
    int updating = 0;
};
