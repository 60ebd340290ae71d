#pragma once

#include "cellgrid.h"

#include <QAbstractTableModel>

namespace dz {

// Shows a CellGrid in a table view: row 0 of the grid becomes the horizontal
// header and column 0 the vertical header, so both stay fixed while scrolling;
// the view shows columns 1 to 7 and rows 1 to 1170. Cells are plain strings, so
// a full grid costs no item objects.
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

private:
  CellGrid& m_grid;
};

} // namespace dz
