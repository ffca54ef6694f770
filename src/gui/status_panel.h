#pragma once

#include <QWidget>

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace telva {

class ElidedLabel;

// The status bar: the drawn connection icon, the status line (bold red), while a long step
// runs its percentage, and while a request or a signing runs, its "Отмена".
class StatusPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIconPanelWidth = 24;

    explicit StatusPanel(QWidget* parent = nullptr);

    void setStatusText(const QString& text);
    QString statusText() const;
    void setConnected(bool connected);
    bool connected() const { return connected_; }
    void setCancelVisible(bool visible);
    QPushButton* cancelButton() const { return cancel_; }
    // 0..100 shows the bar at that share; -1 hides it.
    void setPercent(int percent);
    QProgressBar* progressBar() const { return progress_; }

Q_SIGNALS:
    // Right button released over the icon panel.
    void iconMenuRequested();
    void cancelClicked();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ElidedLabel* text_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    bool connected_ = false;
};

} // namespace telva
