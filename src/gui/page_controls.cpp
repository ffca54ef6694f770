#include "gui/page_controls.h"

#include <QAction>
#include <QLineEdit>
#include <QToolButton>

namespace telva {

QAction* makeAction(QObject* parent, const char* name, const QString& caption,
                    const QString& hint) {
    auto* action = new QAction(caption, parent);
    action->setObjectName(QLatin1String(name));
    // The caption's "&" marks its key (Alt+letter); the buttons show it, as the icon text,
    // and a tooltip shows the plain text.
    action->setIconText(caption);
    action->setToolTip(hint.isEmpty() ? QString(caption).remove(QLatin1Char('&')) : hint);
    action->setStatusTip(hint);
    return action;
}

QToolButton* smallButton(QWidget* parent, const char* name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(QStringLiteral("…"));
    return button;
}

QLineEdit* lineEdit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

QToolButton* actionButton(QWidget* parent, QAction* action) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QStringLiteral("btn_") + action->objectName());
    button->setDefaultAction(action);
    button->setToolButtonStyle(action->icon().isNull() ? Qt::ToolButtonTextOnly
                                                       : Qt::ToolButtonTextBesideIcon);
    button->setMinimumHeight(25);
    return button;
}

} // namespace telva
