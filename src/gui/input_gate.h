#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

namespace telva {

// While a request or another long step of the window runs, the window keeps painting but its
// clicks and keys are dropped, not queued: a second click on an action must not run it again
// once the first has finished. Only the controls let through (the status line's "Отмена")
// still take input; dialogs the step opens are windows of their own and work as usual.
class InputGate : public QObject {
public:
    explicit InputGate(QWidget* window);

    void allow(QWidget* control);
    // Paints, runs timers and drops the window's pending input.
    void processEvents();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool meantForWindow(QObject* receiver) const;

    QWidget* window_;
    QList<QPointer<QWidget>> allowed_;
    int depth_ = 0;
};

} // namespace telva
