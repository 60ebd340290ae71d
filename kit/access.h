#pragma once

#include <QString>

class QAbstractItemView;
class QDateTimeEdit;
class QMessageBox;
class QTableView;
class QWidget;

namespace dz {

// Keyboard and screen-reader aids every window of the program shares.

// Installs, once for the whole program: the focus ring around the control
// that has the keyboard focus, Return and Enter pressing a focused button
// outside dialogs (as they do in dialogs), and the accessibility rules below.
// Dz::Application calls it.
void UseKeyboardAndScreenReaderAids();

// A table or list whose Tab and Shift+Tab (with Ctrl too) go on to the next
// control of the window instead of the next cell; the arrow keys still move
// between cells.
void LetTabLeave(QAbstractItemView* view);
// The same for a date field, whose Tab otherwise goes from day to month to
// year first; the arrow keys move between them.
void LetTabLeave(QDateTimeEdit* edit);

// A table that is only read: a screen reader meets its rows and columns
// with the column titles as headers, and no action on its cells (selecting
// one is no use to a listener).
void ExposeAsReadOnlyTable(QTableView* view);

// A window of the program that is a plain widget: screen readers meet it as
// a window named by its caption (not as a nameless "filler"). The
// description, when given, is what the window says, read as one text.
void MakeAccessibleWindow(QWidget* window, const QString& description = {});

// A picture that only decorates: screen readers pass over it. Best marked
// before the picture is given its parent: a screen reader already running
// may have met it there.
void MarkDecorative(QWidget* picture);

// A message box's text (and informative text) as its description, so that a
// screen reader reads what it says with its caption.
void DescribeMessageBox(QMessageBox& box);

} // namespace dz
