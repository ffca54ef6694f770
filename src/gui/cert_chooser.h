#pragma once

#include "app/settings.h"
#include "crypto/certificate.h"

#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QMenu;
class QPushButton;
class QTabBar;
class QTableWidget;

namespace telva {

class Frontend;

// The certificate chooser: one tab per certificate store, the certificates of the current
// tab in a grid, narrowed by the GOST filter and the fund's-requirements filter.
class TGetCertDlg : public QDialog {
    Q_OBJECT
public:
    // frontend: asks for key passwords while importing (may be null).
    explicit TGetCertDlg(QWidget* parent = nullptr, Frontend* frontend = nullptr);

    // The tab to open with; set before the dialog is shown.
    void setStartTab(int index) { startTab_ = index; }
    // The certificate chosen before; its row is the current one when it is listed.
    void setStartIdentity(const CertIdentity& identity) { startIdentity_ = identity; }
    int currentTab() const;
    // The grid's current row as an identity (empty texts when the row is blank).
    CertIdentity currentIdentity() const;

    // Where the private-key answer goes (a message box by default); tests replace it.
    std::function<void(const QString&)> messageSink;

    QTabBar* tab = nullptr;
    QTableWidget* grid = nullptr;
    QCheckBox* cbGost = nullptr;
    QCheckBox* cbKVB = nullptr;
    QPushButton* Button3 = nullptr; // ОК
    QPushButton* Button1 = nullptr; // Отмена
    QPushButton* btnImport = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr; // Показать сертификат
    QAction* N2 = nullptr; // Проверить закрытый ключ

    void FillCertGrid(int tabIndex);
    void N1Click();
    void N2Click();
    // Imports the given files into the current tab's store (certificate with an optional
    // key, or a PKCS#12 file) and refreshes the grid; the outcome text.
    QString importFiles(const QString& path, const QString& keyPath);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void btnImportClick();
    std::optional<crypto::Certificate> currentCertificate() const;
    void tell(const QString& text);

    Frontend* frontend_;
    int startTab_ = 0;
    CertIdentity startIdentity_;
    bool shown_ = false;
};

// The files of a certificate to import, as the person named them: a certificate or
// PKCS#12 file, and the certificate's key file (empty when none is imported).
struct CertificateFiles {
    QString certificate;
    QString key;
};
// Asks for them with file dialogs; nothing when the person cancels.
std::optional<CertificateFiles> askCertificateFiles(QWidget* parent);

// Opens the chooser on the identity's store (on the identity's row when it is listed) (the
// fund's-requirements filter on only for "My"); on OK fills the identity from the current row and
// the current tab and returns true; otherwise leaves it unchanged.
bool ChooseCertificate(QWidget* parent, CertIdentity& identity, Frontend* frontend = nullptr);

} // namespace telva
