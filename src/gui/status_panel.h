#pragma once

#include <QWidget>

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace telva {

class ElidedLabel;

// What a status text tells: progress or a neutral fact, an operation that succeeded, one that
// failed. The line is coloured by it.
enum class StatusKind { Info, Success, Error };

// The status bar: the drawn connection icon, the status line (failures bold red, successes
// dark green, the rest in the window's text colour), while a long step runs its percentage,
// and while a request or a signing runs, its "Отмена".
class StatusPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIconPanelWidth = 24;

    explicit StatusPanel(QWidget* parent = nullptr);

    void setStatusText(const QString& text, StatusKind kind = StatusKind::Info);
    QString statusText() const;
    StatusKind statusKind() const { return kind_; }
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
    StatusKind kind_ = StatusKind::Info;
};

} // namespace telva
