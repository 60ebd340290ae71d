#include "tableaccess.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAccessibleObject>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTableView>

namespace dz {

namespace {

constexpr const char* kProperty = "dzReadOnlyTable";

// Children are numbered as the view numbers them in its focus events: the
// header row first, a header cell at the start of every row.
enum class Part { Cell, ColumnHeader, RowHeader, Corner };

class TableCell : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
  TableCell(QTableView* view, int row, int column, Part part) : m_view(view), m_row(row), m_column(column), m_part(part)
  {
  }

  bool isValid() const override
  {
    return m_view && m_view->model() && m_row < m_view->model()->rowCount() &&
           m_column < m_view->model()->columnCount();
  }
  QObject* object() const override { return nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_view.data()); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }

  QString text(QAccessible::Text t) const override
  {
    if (t != QAccessible::Name || !isValid())
      return {};
    const QAbstractItemModel* model = m_view->model();
    switch (m_part) {
    case Part::Cell: return model->index(m_row, m_column).data().toString();
    case Part::ColumnHeader: return model->headerData(m_column, Qt::Horizontal).toString();
    case Part::RowHeader: return model->headerData(m_row, Qt::Vertical).toString();
    case Part::Corner: return {};
    }
    return {};
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override
  {
    if (!isValid())
      return {};
    QRect r;
    QWidget* on = m_view->viewport();
    switch (m_part) {
    case Part::Cell: r = m_view->visualRect(m_view->model()->index(m_row, m_column)); break;
    case Part::ColumnHeader:
      on = m_view->horizontalHeader();
      r = QRect(m_view->horizontalHeader()->sectionViewportPosition(m_column), 0,
                m_view->horizontalHeader()->sectionSize(m_column), on->height());
      break;
    case Part::RowHeader:
      on = m_view->verticalHeader();
      r = QRect(0, m_view->verticalHeader()->sectionViewportPosition(m_row), on->width(),
                m_view->verticalHeader()->sectionSize(m_row));
      break;
    case Part::Corner: return {};
    }
    return QRect(on->mapToGlobal(r.topLeft()), r.size());
  }

  QAccessible::Role role() const override
  {
    switch (m_part) {
    case Part::Cell: return QAccessible::Cell;
    case Part::ColumnHeader: return QAccessible::ColumnHeader;
    case Part::RowHeader: return QAccessible::RowHeader;
    case Part::Corner: return QAccessible::Pane;
    }
    return QAccessible::Cell;
  }

  QAccessible::State state() const override
  {
    QAccessible::State s;
    if (!isValid() || m_part != Part::Cell)
      return s;
    const QModelIndex index = m_view->model()->index(m_row, m_column);
    s.offscreen = !m_view->viewport()->rect().intersects(m_view->visualRect(index));
    s.focusable = true;
    s.focused = m_view->hasFocus() && m_view->currentIndex() == index;
    s.readOnly = true;
    if (m_view->selectionModel()) {
      s.selectable = m_view->selectionMode() != QAbstractItemView::NoSelection;
      s.selected = m_view->selectionModel()->isSelected(index);
    }
    return s;
  }

  // No action interface: a cell of a read-only table offers nothing to do.
  void* interface_cast(QAccessible::InterfaceType t) override
  {
    return t == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
  }

  bool isSelected() const override { return state().selected; }
  QList<QAccessibleInterface*> columnHeaderCells() const override;
  QList<QAccessibleInterface*> rowHeaderCells() const override;
  int columnIndex() const override { return m_column; }
  int rowIndex() const override { return m_row; }
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QAccessibleInterface* table() const override { return parent(); }

private:
  QPointer<QTableView> m_view;
  int m_row;
  int m_column;
  Part m_part;
};

class ReadOnlyTable : public QAccessibleObject, public QAccessibleTableInterface {
public:
  explicit ReadOnlyTable(QTableView* view) : QAccessibleObject(view) {}
  ~ReadOnlyTable() override { Forget(); }

  QTableView* View() const { return static_cast<QTableView*>(object()); }
  int Rows() const { return View()->model() ? View()->model()->rowCount() : 0; }
  int Columns() const { return View()->model() ? View()->model()->columnCount() : 0; }

  // One interface per cell for as long as the model keeps its shape, as a
  // screen reader expects the same object for the same cell.
  QAccessibleInterface* Interface(int row, int column, dz::Part part) const
  {
    const qint64 key = (qint64(row + 1) << 32) | quint32(column + 1);
    if (const auto id = m_cells.value(key))
      if (QAccessibleInterface* known = QAccessible::accessibleInterface(id))
        return known;
    auto* cell = new TableCell(View(), row, column, part);
    m_cells.insert(key, QAccessible::registerAccessibleInterface(cell));
    return cell;
  }

  QAccessible::Role role() const override { return QAccessible::Table; }
  QAccessible::State state() const override
  {
    QAccessible::State s;
    QTableView* view = View();
    s.focusable = view->focusPolicy() != Qt::NoFocus;
    s.focused = view->hasFocus();
    s.invisible = !view->isVisible();
    s.readOnly = true;
    return s;
  }
  QString text(QAccessible::Text t) const override
  {
    if (t == QAccessible::Name)
      return View()->accessibleName();
    if (t == QAccessible::Description)
      return View()->accessibleDescription();
    return {};
  }
  QRect rect() const override
  {
    QTableView* view = View();
    return view->isVisible() ? QRect(view->mapToGlobal(QPoint(0, 0)), view->size()) : QRect();
  }
  QAccessibleInterface* parent() const override
  {
    return QAccessible::queryAccessibleInterface(View()->parentWidget());
  }
  int childCount() const override { return (Rows() + 1) * (Columns() + 1); }
  QAccessibleInterface* child(int index) const override
  {
    if (index < 0 || index >= childCount())
      return nullptr;
    const int row = index / (Columns() + 1) - 1;
    const int column = index % (Columns() + 1) - 1;
    if (row < 0 && column < 0)
      return Interface(-1, -1, dz::Part::Corner);
    if (row < 0)
      return Interface(-1, column, dz::Part::ColumnHeader);
    if (column < 0)
      return Interface(row, -1, dz::Part::RowHeader);
    return Interface(row, column, dz::Part::Cell);
  }
  int indexOfChild(const QAccessibleInterface* child) const override
  {
    if (child == nullptr || child->parent() == nullptr || child->parent()->object() != object())
      return -1;
    auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
    if (cell == nullptr)
      return child->role() == QAccessible::Pane ? 0 : -1;
    return (cell->rowIndex() + 1) * (Columns() + 1) + cell->columnIndex() + 1;
  }
  QAccessibleInterface* childAt(int x, int y) const override
  {
    QTableView* view = View();
    const QModelIndex index = view->indexAt(view->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? Interface(index.row(), index.column(), dz::Part::Cell) : nullptr;
  }
  QAccessibleInterface* focusChild() const override
  {
    const QModelIndex index = View()->currentIndex();
    return View()->hasFocus() && index.isValid() ? Interface(index.row(), index.column(), dz::Part::Cell) : nullptr;
  }
  void* interface_cast(QAccessible::InterfaceType t) override
  {
    return t == QAccessible::TableInterface ? static_cast<QAccessibleTableInterface*>(this) : nullptr;
  }

  QAccessibleInterface* caption() const override { return nullptr; }
  QAccessibleInterface* summary() const override { return nullptr; }
  QAccessibleInterface* cellAt(int row, int column) const override
  {
    return row >= 0 && column >= 0 && row < Rows() && column < Columns() ? Interface(row, column, dz::Part::Cell)
                                                                           : nullptr;
  }
  QString columnDescription(int column) const override
  {
    return View()->model() ? View()->model()->headerData(column, Qt::Horizontal).toString() : QString();
  }
  QString rowDescription(int row) const override
  {
    return View()->model() ? View()->model()->headerData(row, Qt::Vertical).toString() : QString();
  }
  int columnCount() const override { return Columns(); }
  int rowCount() const override { return Rows(); }

  QList<QAccessibleInterface*> selectedCells() const override
  {
    QList<QAccessibleInterface*> cells;
    if (QItemSelectionModel* selection = View()->selectionModel())
      for (const QModelIndex& index : selection->selectedIndexes())
        cells << Interface(index.row(), index.column(), dz::Part::Cell);
    return cells;
  }
  int selectedCellCount() const override { return int(selectedCells().size()); }
  QList<int> selectedColumns() const override
  {
    QList<int> columns;
    if (QItemSelectionModel* selection = View()->selectionModel())
      for (const QModelIndex& index : selection->selectedColumns())
        columns << index.column();
    return columns;
  }
  QList<int> selectedRows() const override
  {
    QList<int> rows;
    if (QItemSelectionModel* selection = View()->selectionModel())
      for (const QModelIndex& index : selection->selectedRows())
        rows << index.row();
    return rows;
  }
  int selectedColumnCount() const override { return int(selectedColumns().size()); }
  int selectedRowCount() const override { return int(selectedRows().size()); }
  bool isColumnSelected(int column) const override { return selectedColumns().contains(column); }
  bool isRowSelected(int row) const override { return selectedRows().contains(row); }
  // Nothing to select for a screen reader: the table is read, not edited.
  bool selectRow(int) override { return false; }
  bool selectColumn(int) override { return false; }
  bool unselectRow(int) override { return false; }
  bool unselectColumn(int) override { return false; }

  void modelChange(QAccessibleTableModelChangeEvent*) override { Forget(); }

private:
  void Forget()
  {
    for (const QAccessible::Id id : std::as_const(m_cells))
      QAccessible::deleteAccessibleInterface(id);
    m_cells.clear();
  }

  mutable QHash<qint64, QAccessible::Id> m_cells;
};

QList<QAccessibleInterface*> TableCell::columnHeaderCells() const
{
  auto* table = dynamic_cast<ReadOnlyTable*>(parent());
  return table ? QList<QAccessibleInterface*>{table->Interface(-1, m_column, Part::ColumnHeader)}
               : QList<QAccessibleInterface*>{};
}

QList<QAccessibleInterface*> TableCell::rowHeaderCells() const
{
  auto* table = dynamic_cast<ReadOnlyTable*>(parent());
  return table ? QList<QAccessibleInterface*>{table->Interface(m_row, -1, Part::RowHeader)}
               : QList<QAccessibleInterface*>{};
}

} // namespace

QAccessibleInterface* ReadOnlyTableInterface(QObject* object)
{
  auto* view = qobject_cast<QTableView*>(object);
  return view && view->property(kProperty).toBool() ? new ReadOnlyTable(view) : nullptr;
}

void MarkReadOnlyTable(QTableView* view)
{
  view->setProperty(kProperty, true);
}

} // namespace dz
