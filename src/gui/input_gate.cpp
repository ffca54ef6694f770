#include "gui/input_gate.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace telva {

namespace {

bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

} // namespace

InputGate::InputGate(QWidget* window) : QObject(window), window_(window) {}

void InputGate::allow(QWidget* control) {
    allowed_.append(control);
}

void InputGate::processEvents() {
    if (depth_++ == 0)
        qApp->installEventFilter(this);
    QApplication::processEvents(QEventLoop::AllEvents);
    if (--depth_ == 0)
        qApp->removeEventFilter(this);
}

bool InputGate::meantForWindow(QObject* receiver) const {
    if (auto* widget = qobject_cast<QWidget*>(receiver)) {
        for (const QPointer<QWidget>& control : allowed_)
            if (control && (widget == control || control->isAncestorOf(widget)))
                return false;
        return widget->window() == window_;
    }
    // Actions and shortcuts belong to the window through their parents.
    for (QObject* o = receiver; o; o = o->parent())
        if (o == window_)
            return true;
    return false;
}

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
    if (isInput(event->type()) && meantForWindow(watched))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace telva
