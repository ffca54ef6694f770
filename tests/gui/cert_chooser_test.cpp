#include "app/texts.h"
#include "crypto/cert_rows.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "find_child.h"
#include "gui/cert_chooser.h"
#include "gui/cert_viewer.h"
#include "gui/main_form.h"
#include "http_test_server.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace telva;
using telva::test::TestPki;

namespace {

class CertChooserTest : public ::testing::Test {
protected:
    void SetUp() override {
        const TestPki& pki = TestPki::instance();
        telva::test::installStandard(settings);
        telva::test::installCert(pki.twoOu, 0, true);
        telva::test::installCert(pki.rsa, 0);
        telva::test::installCert(pki.regNumberOnly, 0);
    }

    // Runs ChooseCertificate and lets check() inspect and close the dialog.
    bool choose(CertIdentity& identity, const std::function<void(TGetCertDlg&)>& check) {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TGetCertDlg*>(QApplication::activeModalWidget());
            if (!dialog) {
                ADD_FAILURE() << "no chooser shown";
                return;
            }
            check(*dialog);
        });
        return ChooseCertificate(nullptr, identity);
    }

    // The window's "..." of the personal certificate, answered with the list's second row.
    static void choosePersonalSecondRow(TMainForm& form) {
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<TGetCertDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->grid->setCurrentCell(1, 0);
            dialog->Button3->click();
        });
        telva::test::child<QToolButton>(&form, "sbPrivCert")->click();
    }

    static QStringList column(const TGetCertDlg& dialog, int c) {
        QStringList cells;
        for (int r = 0; r < dialog.grid->rowCount(); ++r) {
            const QTableWidgetItem* item = dialog.grid->item(r, c);
            cells.append(item ? item->text() : QString());
        }
        return cells;
    }

    telva::test::TempProfile profile;
    Settings settings;
};

} // namespace

TEST_F(CertChooserTest, PersonalOpensOnMyWithBothFiltersAndTakesTheRow) {
    CertIdentity identity;
    const bool chosen = choose(identity, [](TGetCertDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Выбор сертификата"));
        EXPECT_EQ(dialog.tab->count(), 8);
        EXPECT_EQ(dialog.tab->tabText(4), QStringLiteral("Сторонние корневые центры сертификации"));
        EXPECT_EQ(dialog.tab->tabText(5), QStringLiteral("Доверенные издатели"));
        EXPECT_EQ(dialog.currentTab(), 0);
        EXPECT_TRUE(dialog.cbGost->isChecked());
        EXPECT_TRUE(dialog.cbKVB->isChecked());
        EXPECT_EQ(dialog.grid->columnCount(), 7);
        EXPECT_EQ(dialog.grid->horizontalHeaderItem(2)->text(), QStringLiteral("РНС КВБ"));
        // personal and twoOu pass; RSA (not GOST) and the one without .1.2 are hidden.
        ASSERT_EQ(dialog.grid->rowCount(), 2);
        EXPECT_EQ(
            column(dialog, crypto::ColSubject),
            QStringList({QStringLiteral("Иванова Мария Петровна"), QStringLiteral("Петров Петр")}));
        EXPECT_EQ(column(dialog, crypto::ColOrg).first(),
                  QStringLiteral("Бухгалтерия ООО Ромашка"));
        EXPECT_EQ(column(dialog, crypto::ColOrg).last(), QStringLiteral("Первый отдел Рога и "));
        EXPECT_EQ(column(dialog, crypto::ColRegNumber).first(), QStringLiteral("7701000001"));
        EXPECT_EQ(column(dialog, crypto::ColIssuer).first(), QStringLiteral("Test CA 2"));
        EXPECT_EQ(column(dialog, crypto::ColValidFrom).first(),
                  QStringLiteral("05.03.2024 09:07:00"));
        EXPECT_EQ(column(dialog, crypto::ColValidTo).first(),
                  QStringLiteral("30.06.2040 15:00:00"));
        EXPECT_EQ(column(dialog, crypto::ColSerial).first(), QStringLiteral("0102"));
        dialog.grid->setCurrentCell(1, 0);
        dialog.Button3->click();
    });
    ASSERT_TRUE(chosen);
    EXPECT_EQ(identity.store, 0);
    EXPECT_EQ(identity.subject, QStringLiteral("Петров Петр"));
    EXPECT_EQ(identity.org, QStringLiteral("Первый отдел Рога и "));
    EXPECT_EQ(identity.issuer, QStringLiteral("Test CA 2"));
    EXPECT_EQ(identity.sernum, QStringLiteral("0203"));
}

TEST_F(CertChooserTest, FundOpensOnAddressBookWithoutTheFundFilter) {
    CertIdentity identity = settings.pub;
    identity.subject = QStringLiteral("прежний");
    ASSERT_TRUE(choose(identity, [](TGetCertDlg& dialog) {
        EXPECT_EQ(dialog.currentTab(), 7);
        EXPECT_TRUE(dialog.cbGost->isChecked());
        EXPECT_FALSE(dialog.cbKVB->isChecked());
        EXPECT_EQ(column(dialog, crypto::ColSubject),
                  QStringList({QStringLiteral("Уполномоченное лицо КВБ РФ")}));
        EXPECT_EQ(column(dialog, crypto::ColRegNumber), QStringList({QString()}));
        Q_EMIT dialog.grid->cellDoubleClicked(0, 0); // a double click is OK
    }));
    EXPECT_EQ(identity.store, 7);
    EXPECT_EQ(identity.sernum, QStringLiteral("00A1B2C3"));
    EXPECT_EQ(identity.org, QStringLiteral("Уполномоченное лицо") + ' ' + QStringLiteral("КВБ РФ"));
}

TEST_F(CertChooserTest, FiltersShowAndHideAndTabsSwitchStores) {
    TGetCertDlg dialog;
    dialog.setStartTab(0);
    dialog.show();
    ASSERT_EQ(dialog.grid->rowCount(), 2);
    dialog.cbGost->click(); // off: the RSA certificate appears
    EXPECT_EQ(dialog.grid->rowCount(), 3);
    EXPECT_TRUE(column(dialog, crypto::ColSubject).contains(QStringLiteral("RSA User")));
    dialog.cbGost->click();
    dialog.cbKVB->click(); // off: the one with only the registration number appears
    ASSERT_EQ(dialog.grid->rowCount(), 3);
    EXPECT_EQ(column(dialog, crypto::ColRegNumber).last(), QStringLiteral("7701000002"));
    EXPECT_EQ(column(dialog, crypto::ColOrg).last(), QStringLiteral(" "));
    dialog.tab->setCurrentIndex(1); // Root: the fund's root, no registration numbers
    EXPECT_EQ(column(dialog, crypto::ColSubject),
              QStringList({QStringLiteral("Корневой УЦ КВБ РФ (тест)")}));
    EXPECT_EQ(column(dialog, crypto::ColRegNumber), QStringList({QString()}));
    dialog.tab->setCurrentIndex(2); // Trust: empty, one blank row
    EXPECT_EQ(dialog.grid->rowCount(), 1);
    EXPECT_EQ(column(dialog, crypto::ColSubject), QStringList({QString()}));
}

TEST_F(CertChooserTest, OkOnAnEmptyListEmptiesTheIdentityAndCancelKeepsIt) {
    CertIdentity identity = settings.priv;
    ASSERT_TRUE(choose(identity, [](TGetCertDlg& dialog) {
        dialog.tab->setCurrentIndex(2);
        dialog.Button3->click();
    }));
    EXPECT_EQ(identity.store, 2);
    EXPECT_TRUE(identity.subject.isEmpty() && identity.org.isEmpty() && identity.issuer.isEmpty() &&
                identity.sernum.isEmpty());

    CertIdentity kept = settings.priv;
    EXPECT_FALSE(choose(kept, [](TGetCertDlg& dialog) {
        dialog.tab->setCurrentIndex(7);
        dialog.Button1->click();
    }));
    EXPECT_EQ(kept.sernum, settings.priv.sernum);
    EXPECT_EQ(kept.store, 0);
}

TEST_F(CertChooserTest, PopupTellsAboutThePrivateKeyAndShowsTheCertificate) {
    TGetCertDlg dialog;
    QStringList told;
    dialog.messageSink = [&](const QString& text) { told.append(text); };
    dialog.setStartTab(0);
    dialog.show();
    dialog.N2Click();
    dialog.grid->setCurrentCell(1, 0);
    dialog.N2Click();
    dialog.cbKVB->click();
    dialog.tab->setCurrentIndex(7);
    dialog.N2Click();
    dialog.tab->setCurrentIndex(2); // blank row: nothing happens
    dialog.N2Click();
    EXPECT_EQ(told, QStringList({QStringLiteral("Есть закрытый ключ."),
                                 QStringLiteral("Есть закрытый ключ."), noPrivateKeyText()}));

    TCertViewer viewer(TestPki::instance().personal.cert);
    QStringList shown;
    for (int r = 0; r < viewer.fields->rowCount(); ++r)
        shown.append(viewer.fields->item(r, 0)->text() + '=' + viewer.fields->item(r, 1)->text());
    const QString all = shown.join('\n');
    EXPECT_TRUE(all.contains(QStringLiteral("Серийный номер=0102"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("1.2.643.2.2.3"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Отпечаток SHA-1=") +
                             TestPki::instance().personal.cert.sha1().toHex(' ').toUpper()));
}

TEST_F(CertChooserTest, ImportPutsTheFileIntoTheCurrentTabsStore) {
    TGetCertDlg dialog;
    dialog.setStartTab(3);
    dialog.show();
    const auto files =
        telva::test::writePkiFiles(TestPki::instance().ca, profile.root() + "/in", "ca");
    EXPECT_EQ(dialog.importFiles(files.certPem, QString()),
              QStringLiteral("Сертификат импортирован."));
    dialog.cbKVB->click();
    EXPECT_EQ(column(dialog, crypto::ColSubject), QStringList({QStringLiteral("Test CA 2")}));
    EXPECT_EQ(dialog.importFiles(profile.root() + "/in/none.cer", QString()),
              openErrorText(profile.root() + "/in/none.cer"));
}

TEST_F(CertChooserTest, ValidityIsInSightAndUnusableCertificatesStandOut) {
    const TestPki& pki = TestPki::instance();
    telva::test::installCert(pki.expired, 0, true);
    telva::test::installCert(pki.notYetValid, 0, true);
    TGetCertDlg dialog;
    dialog.setStartTab(0);
    dialog.cbKVB->setChecked(false);
    dialog.show();
    EXPECT_LT(dialog.minimumWidth(), dialog.maximumWidth());
    const int validTo = crypto::ColValidTo;
    EXPECT_LE(dialog.grid->columnViewportPosition(validTo) + dialog.grid->columnWidth(validTo),
              dialog.grid->viewport()->width());

    const struct {
        const TestPki::Item& item;
        const char* told; // what the row's tooltip says about its state; empty when usable
    } cases[] = {
        {pki.personal, ""},
        {pki.expired, "Срок действия сертификата истек."},
        {pki.notYetValid, "Срок действия сертификата еще не наступил."},
    };
    const QStringList serials = column(dialog, crypto::ColSerial);
    const QColor usable = dialog.grid->palette().color(QPalette::Text);
    for (const auto& c : cases) {
        const int row = int(serials.indexOf(*c.item.cert.serialHex()));
        ASSERT_GE(row, 0) << c.told;
        const QTableWidgetItem* cell = dialog.grid->item(row, validTo);
        const QString tip = cell->toolTip();
        EXPECT_TRUE(tip.contains(QStringLiteral(" по ") + cell->text())) << tip.toStdString();
        if (*c.told) {
            EXPECT_TRUE(tip.endsWith(QString::fromUtf8(c.told))) << tip.toStdString();
            EXPECT_NE(cell->foreground().color(), usable) << c.told;
        } else {
            EXPECT_FALSE(tip.contains(QStringLiteral("Срок действия"))) << tip.toStdString();
            EXPECT_EQ(cell->foreground().style(), Qt::NoBrush);
        }
    }
}

TEST_F(CertChooserTest, PersonalCertificateFieldTellsTheWholeSubjectInItsTooltip) {
    telva::test::FakeFrontend frontend;
    SaveSettings(settings, frontend);
    telva::test::HttpTestServer site;
    site.on("GET", "/", telva::test::ScriptedResponse::ok("<html/>"));
    TMainForm form({});
    form.context().settings.hosts.kvbSite = site.hostPort();
    form.show();
    auto* field = telva::test::child<QLineEdit>(&form, "ePrivCert");
    const QString organisation = field->text();
    EXPECT_TRUE(field->toolTip().contains(QStringLiteral("CN=Иванова Мария Петровна")))
        << field->toolTip().toStdString();
    EXPECT_TRUE(field->toolTip().contains(QStringLiteral("по 30.06.2040 15:00:00")));

    choosePersonalSecondRow(form);
    EXPECT_NE(field->text(), organisation);
    EXPECT_TRUE(field->toolTip().contains(QStringLiteral("CN=Петров Петр")))
        << field->toolTip().toStdString();
}

// Nothing closes the window here: what a kill would leave is what is on disk meanwhile.
TEST_F(CertChooserTest, ChosenValuesAreWrittenAtOnceNotOnlyAtClose) {
    TMainForm form({});
    choosePersonalSecondRow(form);
    form.InputFileChosen(profile.writeFile(QStringLiteral("data/rep.xml"), "<ROWSET/>"));
    const QSettings stored(modeSettingsPath(QStringLiteral("R7")), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("PrivSubject")).toString(),
              QStringLiteral("Петров Петр"));
    EXPECT_EQ(stored.value(QStringLiteral("EncExt")).toString(), QStringLiteral("esl"));
}

TEST_F(CertChooserTest, CertificatesThatWillNotSignAreWarnedOfAtStart) {
    telva::test::FakeFrontend frontend;
    SaveSettings(settings, frontend);
    telva::test::HttpTestServer site;
    site.on("GET", "/", telva::test::ScriptedResponse::ok("<html/>"));
    const struct {
        QDateTime now;
        QString banner; // empty: no banner
    } cases[] = {
        {QDateTime(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC), QString()},
        {QDateTime(QDate(2040, 6, 20), QTime(12, 0), Qt::UTC),
         QStringLiteral("Срок действия личного сертификата истекает 30.06.2040, осталось дней: "
                        "10.")},
        {QDateTime(QDate(2046, 1, 1), QTime(12, 0), Qt::UTC),
         QStringLiteral("Срок действия личного сертификата истек 30.06.2040.\nСрок действия "
                        "сертификата уполномоченного лица КВБ истек 01.01.2045.")},
    };
    for (const auto& c : cases) {
        ManualClock clock(c.now);
        Clock::setSystem(&clock);
        {
            TMainForm form({});
            form.context().settings.hosts.kvbSite = site.hostPort();
            form.show();
            auto* banner = telva::test::child<QLabel>(&form, "lbCertWarning");
            EXPECT_EQ(banner->isVisible(), !c.banner.isEmpty()) << c.now.toString().toStdString();
            EXPECT_EQ(banner->text(), c.banner);
            const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
            if (!dir.isEmpty() && c.banner.contains(QStringLiteral("осталось")))
                form.grab().save(dir + QStringLiteral("/certificate-banner.png"));
        }
        Clock::setSystem(nullptr);
    }
}
