#pragma once

#include "cellgrid.h"

#include <QAbstractTableModel>

namespace dz {

// Shows a CellGrid in a table view: row 0 of the grid becomes the horizontal
// header and column 0 the vertical header, so both stay fixed while scrolling;
// the view shows the rows and columns a logger model fills (all of them, 1170
// by 7, until a model is chosen), so that a screen reader meets the same
// table. Cells are plain strings, so a full grid costs no item objects.
class GridModel : public QAbstractTableModel {
public:
  explicit GridModel(CellGrid& grid, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The cells were changed behind the model's back (a conversion, a clear).
  void CellsChanged();

  // Rows 1..rows and columns 1..columns of the grid are shown.
  void SetExtent(int rows, int columns);

private:
  CellGrid& m_grid;
  int m_rows = CellGrid::kRows - 1;
  int m_columns = CellGrid::kColumns - 1;
};

} // namespace dz
