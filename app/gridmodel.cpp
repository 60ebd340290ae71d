#include "gridmodel.h"

namespace dz {

GridModel::GridModel(CellGrid& grid, QObject* parent) : QAbstractTableModel(parent), m_grid(grid) {}

int GridModel::rowCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : CellGrid::kRows - 1;
}

int GridModel::columnCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : CellGrid::kColumns - 1;
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

void GridModel::CellsChanged()
{
  emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
  emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
}

} // namespace dz
