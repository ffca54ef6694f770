#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace telva {

// "Настройка подключения": proxy host, port and user name; no password field.
class TGetProxyDlg : public QDialog {
    Q_OBJECT
public:
    explicit TGetProxyDlg(QWidget* parent = nullptr);

    void setValues(const QString& host, const QString& port, const QString& user);
    QString host() const;
    QString port() const;
    QString user() const;

    QLineEdit* eHost = nullptr;
    QLineEdit* ePort = nullptr;
    QLineEdit* eUser = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ePortChange(const QString& text);
};

} // namespace telva
