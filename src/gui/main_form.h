#pragma once

#include <QMainWindow>

namespace telva {

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(const QStringList& arguments, QWidget* parent = nullptr);
};

} // namespace telva
