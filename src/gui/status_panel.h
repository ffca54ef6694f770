#pragma once

#include <QWidget>

class QLabel;
class QMenu;

namespace telva {

class ElidedLabel;

// The status bar: the drawn connection icon and the status line (bold red).
class StatusPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIconPanelWidth = 24;

    explicit StatusPanel(QWidget* parent = nullptr);

    void setStatusText(const QString& text);
    QString statusText() const;
    void setConnected(bool connected);
    bool connected() const { return connected_; }

Q_SIGNALS:
    // Right button released over the icon panel.
    void iconMenuRequested();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ElidedLabel* text_;
    bool connected_ = false;
};

} // namespace telva
