#include "profiles/reportmodel.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

TReportModel::TReportModel(QObject *parent) : QAbstractTableModel(parent) {}

TReportModel::TReportModel(const QStringList &titles, QObject *parent)
    : QAbstractTableModel(parent), titles(titles)
{
}

void TReportModel::SetColumns(const QStringList &newTitles)
{
    if (newTitles == titles)
        return;
    // The cells are stored per column count; new columns start a new table.
    BeginUpdate();
    titles = newTitles;
    chunks.clear();
    chunkUsed = ChunkSize;
    rowStarts.clear();
    cellEnds.clear();
    nRows = 0;
    EndUpdate();
}

void TReportModel::Clear()
{
    BeginUpdate();
    chunks.clear();
    chunkUsed = ChunkSize;
    rowStarts = {};
    cellEnds = {};
    nRows = 0;
    EndUpdate();
}

void TReportModel::BeginUpdate()
{
    if (updating++ == 0)
        beginResetModel();
}

void TReportModel::EndUpdate()
{
    if (updating == 0)
        return;
    if (--updating == 0)
        endResetModel();
}

void TReportModel::BeginAppend()
{
    rowBuffer.clear();
    rowCellEnds.clear();
}

void TReportModel::EndAppend()
{
    if (!updating)
        beginInsertRows(QModelIndex(), nRows, nRows);
    StoreRow();
    ++nRows;
    if (!updating)
        endInsertRows();
}

void TReportModel::StoreRow()
{
    const size_t size = rowBuffer.size();
    if (size > std::numeric_limits<uint32_t>::max())
        throw std::length_error("A list row is too long");
    if (chunkUsed + size > ChunkSize || chunks.empty()) {
        // a row longer than a chunk gets a chunk of its own size
        chunks.push_back(std::make_unique<char[]>(std::max(ChunkSize, size)));
        chunkUsed = 0;
    }
    const uint64_t chunkIndex = chunks.size() - 1;
    std::copy(rowBuffer.begin(), rowBuffer.end(), chunks.back().get() + chunkUsed);
    rowStarts.push_back(chunkIndex * ChunkSize + chunkUsed);
    chunkUsed = size > ChunkSize ? ChunkSize : chunkUsed + size;
    cellEnds.insert(cellEnds.end(), rowCellEnds.begin(), rowCellEnds.end());
}

const char *TReportModel::At(uint64_t position) const
{
    return chunks[size_t(position / ChunkSize)].get() + position % ChunkSize;
}

void TReportModel::AppendUtf16(std::string &out, QStringView s)
{
    const char16_t *p = s.utf16();
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = p[i];
        if (c < 0x80) {
            out.push_back(char(c));
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD; // a lone surrogate
        }
        if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        }
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

void TReportModel::AddRow(const QStringList &cells)
{
    BeginAppend();
    for (qsizetype c = 0; c < titles.size(); ++c) {
        if (c < cells.size())
            AppendUtf16(rowBuffer, cells.at(c));
        rowCellEnds.push_back(uint32_t(rowBuffer.size()));
    }
    EndAppend();
}

void TReportModel::AddRow(std::initializer_list<QStringView> cells)
{
    BeginAppend();
    auto it = cells.begin();
    for (qsizetype c = 0; c < titles.size(); ++c) {
        if (it != cells.end())
            AppendUtf16(rowBuffer, *it++);
        rowCellEnds.push_back(uint32_t(rowBuffer.size()));
    }
    EndAppend();
}

void TReportModel::AddRowUtf8(std::initializer_list<QByteArrayView> cells)
{
    BeginAppend();
    auto it = cells.begin();
    for (qsizetype c = 0; c < titles.size(); ++c) {
        if (it != cells.end()) {
            rowBuffer.append(it->data(), size_t(it->size()));
            ++it;
        }
        rowCellEnds.push_back(uint32_t(rowBuffer.size()));
    }
    EndAppend();
}

QString TReportModel::Cell(int row, int column) const
{
    if (row < 0 || row >= nRows || column < 0 || column >= titles.size())
        return {};
    const size_t i = size_t(row) * size_t(titles.size()) + size_t(column);
    const uint32_t begin = column == 0 ? 0 : cellEnds[i - 1];
    return QString::fromUtf8(At(rowStarts[size_t(row)]) + begin, qsizetype(cellEnds[i] - begin));
}
QStringList TReportModel::Row(int row) const
{
    QStringList cells;
    for (int c = 0; c < titles.size(); ++c)
        cells << Cell(row, c);
    return cells;
}

int TReportModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : nRows;
}

int TReportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(titles.size());
}

QVariant TReportModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return Cell(index.row(), index.column());
}

QVariant TReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= titles.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return titles.at(section);
}
