#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace telva {

// "Авторизация": the proxy user name and password.
class TGetAuth : public QDialog {
    Q_OBJECT
public:
    explicit TGetAuth(QWidget* parent = nullptr);

    void setValues(const QString& user, const QString& password);
    QString user() const;
    QString password() const;

    QLineEdit* eUser = nullptr;
    QLineEdit* ePsw = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace telva
