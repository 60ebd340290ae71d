#include "gridmodel.h"

#include <algorithm>

namespace dz {

GridModel::GridModel(CellGrid& grid, QObject* parent) : QAbstractTableModel(parent), m_grid(grid) {}

int GridModel::rowCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : m_rows;
}

int GridModel::columnCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : m_columns;
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
  if (!index.isValid() || role != Qt::DisplayRole)
    return {};
  return QString::fromLatin1(m_grid.Cell(index.column() + 1, index.row() + 1));
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
  if (role != Qt::DisplayRole)
    return {};
  if (orientation == Qt::Horizontal)
    return QString::fromLatin1(m_grid.Cell(section + 1, 0));
  return QString::fromLatin1(m_grid.Cell(0, section + 1));
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
  // Read-only: cells can be selected (and copied) but not edited.
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void GridModel::SetExtent(int rows, int columns)
{
  rows = std::clamp(rows, 0, CellGrid::kRows - 1);
  columns = std::clamp(columns, 0, CellGrid::kColumns - 1);
  if (rows == m_rows && columns == m_columns)
    return;
  beginResetModel();
  m_rows = rows;
  m_columns = columns;
  endResetModel();
}

void GridModel::CellsChanged()
{
  emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
  emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
  if (rowCount() > 0 && columnCount() > 0)
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
}

} // namespace dz
