#pragma once

class QAccessibleInterface;
class QObject;
class QTableView;

namespace dz {

// The screen-reader interface of a table marked with ExposeAsReadOnlyTable
// (access.h), or nullptr for any other object.
QAccessibleInterface* ReadOnlyTableInterface(QObject* object);
void MarkReadOnlyTable(QTableView* view);

} // namespace dz
