#pragma once

#include "app/file_stamp.h"
#include "app/result.h"
#include "operations/submission.h"

#include <QWidget>
#include <optional>
#include <utility>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;

namespace telva {

class PageHost;

// "Подписать и зашифровать": the provider, the certificates, the file to sign and its
// output, signing and sending, what a first signing still lacks, and the batch table for
// several files at once.
class SigningPage : public QWidget {
    Q_OBJECT
public:
    // `proxyAction` is the window's "Настройки прокси-сервера", which has a button here.
    SigningPage(PageHost& host, QAction* proxyAction, QWidget* parent);

    // What the input-file dialog does with a confirmed choice.
    void InputFileChosen(const QString& file);
    // Several report files at once (dropped or chosen together): the batch table.
    void openBatch(const QStringList& files);
    // Once the window is shown: the providers listed, the chosen certificates shown.
    void start();
    // A report is being sent from here or from the batch table.
    bool sending() const { return sending_; }
    // Actions whose buttons go while the gateway cannot be reached.
    QList<QAction*> networkActions() const;

Q_SIGNALS:
    // A report went out under this identifier.
    void sent(const QString& reportId);

private:
    void createActions();
    void createControls(QAction* proxyAction);
    // What is still missing for a first signing, each with the button that mends it.
    QWidget* createFirstSteps();
    void showFirstSteps();
    void showCertificateLabels();
    void showCertificateTips();
    // The provider chosen goes into the settings the signing reads.
    void takeProvider();

    void acDoUpdate();
    void acDoExecute();
    void acSendExecute();
    void acLoadCertExecute();
    void acImportCertExecute();
    void sbSelFileClick();
    // A path typed into the source field: the kind and output name are read anew.
    void eFileInEdited();
    void eFileInEditingFinished();
    void sbPrivCertClick();
    void sbPubCertClick();
    // A send's outcome on the status line; a send that could not reach the gateway turns the
    // connection icon to "not connected", one the gateway answered to "connected".
    void showSendOutcome(const Result<SentReport>& outcome);

    PageHost& host_;
    // The source and output of the last signing: "Отправить в КВБ" sends only while both are
    // still the files that were signed.
    std::optional<std::pair<FileStamp, FileStamp>> signed_;
    bool sending_ = false;

    QComboBox* cbProv_ = nullptr;
    QLineEdit* ePrivCert_ = nullptr;
    QLineEdit* ePubCert_ = nullptr;
    QLineEdit* eFileIn_ = nullptr;
    QLineEdit* eKindDoc_ = nullptr;
    QLineEdit* eFileOut_ = nullptr;
    QLabel* lbCertWarning_ = nullptr;
    QLabel* lbPrivCertOwner_ = nullptr;
    QWidget* firstSteps_ = nullptr;
    QLabel* lbPersonalGap_ = nullptr;
    QWidget* btnImportCert_ = nullptr;
    QLabel* lbFundGap_ = nullptr;
    QWidget* btnInstallFund_ = nullptr;

    QAction* acDo = nullptr;
    QAction* acSend = nullptr;
    QAction* acLoadCert = nullptr;
    QAction* acImportCert = nullptr;
};

} // namespace telva
