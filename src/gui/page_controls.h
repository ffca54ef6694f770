#pragma once

#include <QString>

class QAction;
class QLineEdit;
class QObject;
class QToolButton;
class QWidget;

namespace telva {

// The controls the window's pages are built of, named as the tests and the person's
// keyboard find them.
QAction* makeAction(QObject* parent, const char* name, const QString& caption,
                    const QString& hint = QString());
// The "…" button beside a field.
QToolButton* smallButton(QWidget* parent, const char* name);
QLineEdit* lineEdit(QWidget* parent, const char* name);
// A button that shows and runs an action ("btn_" + the action's name).
QToolButton* actionButton(QWidget* parent, QAction* action);

} // namespace telva
