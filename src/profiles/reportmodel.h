#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QStringList>

#include <cstdint>
#include <initializer_list>
#include <vector>

// The rows of a report-style list view: column titles and rows of texts. The texts are
// kept as UTF-8 in one buffer (no allocation per cell), so a million rows stay cheap;
// a fill between BeginUpdate and EndUpdate resets the model once.
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
    void Reserve(int rows, qsizetype bytesPerRow = 64);

    int RowCount() const { return nRows; }
    QString Cell(int row, int column) const;
    QStringList Row(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void BeginAppend();
    void EndAppend();
    void AppendUtf16(QStringView text);
    void CloseCell();

    QStringList titles;
    std::vector<char> text;          // every cell's UTF-8, one after another
    std::vector<uint32_t> cellEnds;  // end offset of each cell, row after row
    int nRows = 0;
    int updating = 0;
};
