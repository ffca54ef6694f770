#include "app/program.h"
#include "crypto/cert_store.h"
#include "find_child.h"
#include "gui/cert_chooser.h"
#include "gui/main_form.h"
#include "http_test_server.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>
#include <map>

using namespace telva;
using namespace telva::test;

namespace {

// A person answering each dialog of the window once it has the focus; what was asked is
// kept by the dialogs' titles.
class ScriptedUser {
public:
    using Answer = std::function<void(QWidget*)>;

    explicit ScriptedUser(std::map<QString, Answer> answers) : answers_(std::move(answers)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog || !dialog->isActiveWindow() || dialog->property("answered").toBool())
                return;
            dialog->setProperty("answered", true);
            asked.append(dialog->windowTitle());
            const auto answer = answers_.find(dialog->windowTitle());
            if (answer != answers_.end())
                answer->second(dialog);
            else
                QProcess::execute(QStringLiteral("xdotool"),
                                  {QStringLiteral("key"), QStringLiteral("Escape")});
        });
        timer_.start(100);
    }

    QStringList asked;

private:
    std::map<QString, Answer> answers_;
    QTimer timer_;
};

void chooseFile(QWidget* dialog, const QString& path) {
    // Typed into the name field, as a person would; the dialog's own accept follows.
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(path);
    static_cast<QDialog*>(dialog)->accept();
}

// With TELVA_SCREENSHOT_DIR set, keeps a picture of the whole screen under that name.
void keepScreenshot(QWidget* form, const char* name) {
    const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        form->screen()->grabWindow(0).save(dir + QLatin1Char('/') + QLatin1String(name));
}

void press(QWidget* dialog, const QString& caption) {
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
        if (button->text().remove(QLatin1Char('&')) == caption)
            return button->click();
    ADD_FAILURE() << "no button " << caption.toStdString();
}

} // namespace

// An empty profile: the signing page says what is missing, and its buttons import the
// personal certificate and install the fund's; the page then names the certificate and the
// chooser opens on it.
TEST(FirstStart, TheSigningPageLeadsToTheCertificatesAndNamesTheChosenOne) {
    TempProfile profile;
    const TestPki& pki = TestPki::instance();
    // Another certificate is in the store already, so the chooser has a row to pass over.
    installCert(pki.twoOu, crypto::toIndex(crypto::Store::My), true);
    const PkiFiles files = writePkiFiles(pki.personal, profile.root() + "/in", "personal");
    HttpTestServer site;
    site.on("GET", "/", ScriptedResponse::ok("<html/>"));
    site.on("GET", "/uc/root.cer", ScriptedResponse::ok(pki.fundRoot.certDer()));
    site.on("GET", "/uc/ap.cer", ScriptedResponse::ok(pki.fundAp.certDer()));
    CertIdentity openedOn;
    ScriptedUser user({
        {QStringLiteral("Импорт сертификата"), [&](QWidget* d) { chooseFile(d, files.certPem); }},
        {programTitle(), [](QWidget* d) { press(d, QStringLiteral("Yes")); }},
        {QStringLiteral("Установка сертификатов КВБ"),
         [](QWidget* d) { press(d, QStringLiteral("Да")); }},
        {QStringLiteral("Закрытый ключ"), [&](QWidget* d) { chooseFile(d, files.keyPem); }},
        {QStringLiteral("Выбор сертификата"),
         [&](QWidget* d) {
             openedOn = static_cast<TGetCertDlg*>(d)->currentIdentity();
             keepScreenshot(d, "first-start-chooser.png");
             QProcess::execute(QStringLiteral("xdotool"),
                               {QStringLiteral("key"), QStringLiteral("Escape")});
         }},
    });

    TMainForm form({});
    form.context().settings.hosts.kvbSite = site.hostPort();
    form.context().settings.kvbRootCertUrl = site.url(QStringLiteral("/uc/root.cer"));
    form.context().settings.apCertUrl = site.url(QStringLiteral("/uc/ap.cer"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    auto* steps = child<QWidget>(&form, "pnFirstSteps");
    auto* importButton = child<QPushButton>(&form, "btnImportCert");
    auto* installButton = child<QPushButton>(&form, "btnInstallFund");
    auto* owner = child<QLabel>(&form, "lbPrivCertOwner");
    EXPECT_TRUE(steps->isVisible());
    EXPECT_TRUE(importButton->isVisible());
    EXPECT_TRUE(installButton->isVisible());
    EXPECT_TRUE(child<QLabel>(&form, "lbPersonalGap")->text().startsWith("Личный сертификат не"));
    EXPECT_FALSE(owner->isVisible());
    // The one provider there is stands chosen.
    EXPECT_EQ(child<QComboBox>(&form, "cbProv")->currentIndex(), 0);

    keepScreenshot(&form, "first-start-empty.png");

    QTest::mouseClick(importButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner->isVisible(); }))
        << user.asked.join(", ").toStdString();
    EXPECT_EQ(owner->text(),
              QStringLiteral("Иванова Мария Петровна, Бухгалтерия, действителен по 30.06.2040"));
    EXPECT_FALSE(importButton->isVisible());
    EXPECT_TRUE(installButton->isVisible());
    const CertIdentity chosen = form.context().settings.priv;
    const CertIdentity expected = pki.personal.identity(0);
    EXPECT_EQ(chosen.issuer, expected.issuer);
    EXPECT_EQ(chosen.sernum, expected.sernum);
    EXPECT_EQ(chosen.store, 0);

    QTest::mouseClick(child<QToolButton>(&form, "sbPrivCert"), Qt::LeftButton);
    EXPECT_TRUE(user.asked.contains(QStringLiteral("Выбор сертификата")));
    EXPECT_EQ(openedOn.sernum, pki.personal.identity(0).sernum);

    QTest::mouseClick(installButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !steps->isVisible(); }))
        << user.asked.join(", ").toStdString();
    EXPECT_TRUE(user.asked.contains(QStringLiteral("Установка сертификатов КВБ")));
    EXPECT_FALSE(child<QLineEdit>(&form, "ePubCert")->text().isEmpty());
    EXPECT_TRUE(owner->isVisible());
    keepScreenshot(&form, "first-start-ready.png");
}
