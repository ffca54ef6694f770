#include "app/settings.h"
#include "gui/auth_dialog.h"
#include "gui/gui_frontend.h"
#include "gui/main_form.h"
#include "gui/proxy_dialog.h"
#include "http_test_server.h"
#include "temp_profile.h"
#include "tinyproxy_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace telva {
namespace {

QStringList labelTexts(const QWidget& widget) {
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>())
        texts.append(label->text());
    return texts;
}

// Runs act on the modal dialog as soon as it is shown.
void whenDialogShows(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

TEST(ProxyDialog, CaptionLabelsAndButtons) {
    TGetProxyDlg dialog;
    EXPECT_EQ(dialog.objectName(), QStringLiteral("TGetProxyDlg"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Настройка подключения"));
    const QStringList labels = labelTexts(dialog);
    for (const char* text :
         {"Укажите настройки прокси-сервера:", "Адрес сервера", "порт", "Пользователь"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;
    const QLabel* heading = dialog.findChild<QLabel*>(QStringLiteral("lHeading"));
    ASSERT_TRUE(heading);
    EXPECT_TRUE(heading->font().bold());
    EXPECT_EQ(dialog.btnOk->text(), QStringLiteral("Принять"));
    EXPECT_EQ(dialog.btnCancel->text(), QStringLiteral("Выйти"));
    EXPECT_TRUE(dialog.findChildren<QLineEdit*>().size() == 3); // no password field
    EXPECT_TRUE(dialog.isModal());
}

TEST(ProxyDialog, ThePortFieldHoldsAWholeNumberOrNothing) {
    TGetProxyDlg dialog;
    dialog.ePort->setText(QStringLiteral("3128"));
    EXPECT_EQ(dialog.port(), QStringLiteral("3128"));
    dialog.ePort->setText(QStringLiteral("31x"));
    EXPECT_EQ(dialog.port(), QString());
}

TEST(AuthDialog, CaptionLabelsAndAMaskedPassword) {
    TGetAuth dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Авторизация"));
    const QStringList labels = labelTexts(dialog);
    EXPECT_TRUE(labels.contains(QStringLiteral("Пользователь")));
    EXPECT_TRUE(labels.contains(QStringLiteral("Пароль")));
    EXPECT_EQ(dialog.ePsw->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.btnOk->text(), QStringLiteral("Принять"));
    EXPECT_EQ(dialog.btnCancel->text(), QStringLiteral("Выйти"));
}

TEST(GuiFrontendDialogs, ProxyDialogIsFilledAndHandsBackTheTexts) {
    GuiFrontend frontend;
    QStringList seen;
    whenDialogShows([&seen](QWidget* widget) {
        auto* dialog = qobject_cast<TGetProxyDlg*>(widget);
        ASSERT_TRUE(dialog);
        seen = {dialog->host(), dialog->port(), dialog->user()};
        dialog->eHost->setText(QStringLiteral("proxy.corp"));
        dialog->ePort->setText(QStringLiteral("8080"));
        dialog->eUser->setText(QStringLiteral("clerk"));
        dialog->btnOk->click();
    });
    QString host = QStringLiteral("old"), port = QStringLiteral("3128"), user = QStringLiteral("u");
    EXPECT_TRUE(frontend.editProxySettings(host, port, user));
    EXPECT_EQ(seen,
              QStringList({QStringLiteral("old"), QStringLiteral("3128"), QStringLiteral("u")}));
    EXPECT_EQ(host, QStringLiteral("proxy.corp"));
    EXPECT_EQ(port, QStringLiteral("8080"));
    EXPECT_EQ(user, QStringLiteral("clerk"));

    whenDialogShows([](QWidget* widget) {
        auto* dialog = qobject_cast<TGetProxyDlg*>(widget);
        ASSERT_TRUE(dialog);
        dialog->eHost->setText(QStringLiteral("changed"));
        dialog->btnCancel->click();
    });
    EXPECT_FALSE(frontend.editProxySettings(host, port, user));
    EXPECT_EQ(host, QStringLiteral("proxy.corp"));
}

TEST(GuiFrontendDialogs, CredentialsDialogGivesUserAndPassword) {
    GuiFrontend frontend;
    QString seenUser;
    whenDialogShows([&seenUser](QWidget* widget) {
        auto* dialog = qobject_cast<TGetAuth*>(widget);
        ASSERT_TRUE(dialog);
        seenUser = dialog->user();
        dialog->ePsw->setText(QStringLiteral("s3cret"));
        dialog->btnOk->click();
    });
    QString user = QStringLiteral("clerk"), password;
    EXPECT_TRUE(frontend.askProxyCredentials(user, password));
    EXPECT_EQ(seenUser, QStringLiteral("clerk"));
    EXPECT_EQ(user, QStringLiteral("clerk"));
    EXPECT_EQ(password, QStringLiteral("s3cret"));

    whenDialogShows([](QWidget* widget) { qobject_cast<TGetAuth*>(widget)->btnCancel->click(); });
    QString other;
    EXPECT_FALSE(frontend.askProxyCredentials(user, other));
    EXPECT_TRUE(other.isEmpty());
}

} // namespace
} // namespace telva

namespace telva {
namespace {

// A proxy wanting Basic authentication, found through the window's own dialogs: the proxy
// dialog names the user, and the check asks for the password.
TEST(WindowProxyPassword, TheCheckAsksForThePasswordOfTheUserNamedInTheProxyDialog) {
    if (test::TinyproxyFixture::binary().isEmpty())
        GTEST_SKIP() << "tinyproxy is not installed";
    test::TempProfile profile;
    test::TinyproxyFixture proxy;
    ASSERT_TRUE(proxy.start({QStringLiteral("clerk"), QStringLiteral("s3cret")}))
        << proxy.errorText().toStdString();
    test::HttpTestServer site;
    site.on("GET", "/", test::ScriptedResponse::ok("<html/>"));
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");

    TMainForm form({});
    Settings& settings = form.context().settings;
    settings.hosts.kvbSite = site.hostPort();
    settings.proxy = {proxy.host(), proxy.port(), QString(), QString()};
    QStringList asked;
    QTimer person;
    QObject::connect(&person, &QTimer::timeout, [&asked] {
        QWidget* widget = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<TGetProxyDlg*>(widget)) {
            asked.append(QStringLiteral("proxy"));
            dialog->eUser->setText(QStringLiteral("clerk"));
            dialog->btnOk->click();
        } else if (auto* auth = qobject_cast<TGetAuth*>(widget)) {
            asked.append(auth->user());
            auth->ePsw->setText(QStringLiteral("s3cret"));
            auth->btnOk->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            asked.append(box->text());
            box->accept();
        }
    });
    person.start(20);
    form.show();
    form.activateWindow();
    QTest::qWait(500);
    EXPECT_EQ(asked, QStringList({QStringLiteral("proxy"), QStringLiteral("clerk")}));
    EXPECT_TRUE(form.context().connected);
    EXPECT_EQ(settings.proxy.user, QStringLiteral("clerk"));
    EXPECT_EQ(site.requestCount(), 1);
}

} // namespace
} // namespace telva
