#include "gui/status_panel.h"

#include "gui/elided_label.h"
#include "gui/icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

namespace telva {

StatusPanel::StatusPanel(QWidget* parent)
    : QWidget(parent), text_(new ElidedLabel(this)), progress_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("Отмена"), this)) {
    setObjectName(QStringLiteral("StatusBar"));
    setFixedHeight(25);
    text_->setObjectName(QStringLiteral("StatusText"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    text_->setFont(font);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Mouse events of the text area reach the panel, which decides about the menu.
    text_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kIconPanelWidth + 4, 0, 4, 0);
    layout->addWidget(text_, 1);
    progress_->setObjectName(QStringLiteral("ProgressBar"));
    progress_->setRange(0, 100);
    progress_->setFixedSize(160, 19);
    progress_->hide();
    layout->addWidget(progress_);
    cancel_->setObjectName(QStringLiteral("CancelButton"));
    cancel_->setFixedHeight(21);
    cancel_->hide();
    layout->addWidget(cancel_);
    connect(cancel_, &QPushButton::clicked, this, &StatusPanel::cancelClicked);
}

void StatusPanel::setPercent(int percent) {
    progress_->setVisible(percent >= 0);
    if (percent >= 0)
        progress_->setValue(qMin(percent, 100));
}

void StatusPanel::setCancelVisible(bool visible) {
    cancel_->setVisible(visible);
}

void StatusPanel::setStatusText(const QString& text, StatusKind kind) {
    text_->setFullText(text);
    kind_ = kind;
    QPalette palette = text_->palette();
    const QColor colour = kind == StatusKind::Error     ? QColor(Qt::red)
                          : kind == StatusKind::Success ? QColor(0, 110, 0)
                                                        : palette.color(QPalette::Text);
    palette.setColor(QPalette::WindowText, colour);
    text_->setPalette(palette);
    QFont font = text_->font();
    font.setBold(kind == StatusKind::Error);
    text_->setFont(font);
}

QString StatusPanel::statusText() const {
    return text_->fullText();
}

void StatusPanel::setConnected(bool connected) {
    connected_ = connected;
    update();
}

bool StatusPanel::event(QEvent* event) {
    // The text lets mouse events through to the panel, so the panel shows its tooltip.
    if (event->type() == QEvent::ToolTip)
        setToolTip(text_->toolTip());
    return QWidget::event(event);
}

void StatusPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(kIconPanelWidth, 2, kIconPanelWidth, height() - 3);
    painter.drawPixmap(3, 2, connectionIcon(connected_).pixmap(18, 18));
}

void StatusPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && event->position().x() < kIconPanelWidth)
        Q_EMIT iconMenuRequested();
    QWidget::mouseReleaseEvent(event);
}

} // namespace telva
