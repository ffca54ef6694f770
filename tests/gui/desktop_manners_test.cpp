#include "app/event_log.h"
#include "app/recent_places.h"
#include "app/settings.h"
#include "app/window_place.h"
#include "fake_frontend.h"
#include "find_child.h"
#include "gui/help_page.h"
#include "gui/main_form.h"
#include "temp_profile.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <gtest/gtest.h>

using telva::test::child;
using namespace telva;

namespace {

QChar mnemonic(const QString& caption) {
    const qsizetype at = caption.indexOf(QLatin1Char('&'));
    return at < 0 || at + 1 >= caption.size() ? QChar() : caption.at(at + 1).toLower();
}

} // namespace

// Alt+letter reaches every tab and every button of the page shown, each letter once.
TEST(DesktopManners, EveryTabAndButtonHasItsOwnKey) {
    test::TempProfile profile;
    TMainForm form({});
    auto* pages = child<QTabWidget>(&form, "pcMain");
    for (int page = 0; page < pages->count(); ++page) {
        QSet<QChar> keys;
        QStringList captions;
        for (int tab = 0; tab < pages->count(); ++tab)
            captions << pages->tabText(tab);
        // The action buttons and those of the first steps.
        const auto buttons = pages->widget(page)->findChildren<QAbstractButton*>();
        for (const QAbstractButton* button : buttons)
            if (button->objectName().startsWith(QLatin1String("btn")))
                captions << button->text();
        ASSERT_GT(captions.size(), pages->count());
        for (const QString& caption : captions) {
            const QChar key = mnemonic(caption);
            EXPECT_FALSE(key.isNull()) << caption.toStdString();
            EXPECT_FALSE(keys.contains(key)) << caption.toStdString();
            keys.insert(key);
        }
    }
}

TEST(DesktopManners, TheHelpSaysWhereThingsAreAndOpensTheJournal) {
    test::TempProfile profile;
    TMainForm form({});
    EXPECT_TRUE(form.windowIcon().availableSizes().contains(QSize(48, 48)));
    HelpPage help(form.context(), &form);
    const QString shown = help.text->toPlainText();
    for (const QString& part :
         {logFilePath(), globalSettingsPath(), QStringLiteral("Обрабатывается."),
          QStringLiteral("Успешно обработан."), QStringLiteral("Обнаружены ошибки.")})
        EXPECT_TRUE(shown.contains(part)) << part.toStdString() << "\n" << shown.toStdString();

    test::FakeFrontend frontend;
    EXPECT_TRUE(openJournal(frontend));
    EXPECT_EQ(frontend.openedFiles, QStringList{logFilePath()});
}

TEST(DesktopManners, TheFirstWindowIsCentredOnTheScreen) {
    test::TempProfile profile;
    TMainForm form({});
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // The frame the window manager will draw around it is what stands in the middle: it
    // begins where the window was moved to.
    const QRect outer(form.pos(), form.size().grownBy(kGuessedDecoration));
    EXPECT_LE((outer.center() - screen.center()).manhattanLength(), 2);
}

// The next window starts from the last input file, and the dialogs from its folders.
TEST(DesktopManners, TheLastInputFileAndFoldersAreRemembered) {
    test::TempProfile profile;
    const QString report = profile.writeFile("reports/q1.xml", "<R7REPORT/>");
    {
        TMainForm form({});
        form.InputFileChosen(report);
    }
    TMainForm next({});
    EXPECT_EQ(child<QLineEdit>(&next, "eFileIn")->text(), report);
    EXPECT_EQ(RecentPlaces::load().reportFolder, profile.root() + "/reports");

    const struct {
        QString current, remembered, start;
    } cases[] = {
        {report, profile.root(), report},
        {QString(), profile.root() + "/reports", profile.root() + "/reports"},
        {profile.root() + "/gone/x.xml", profile.root() + "/reports", profile.root() + "/reports"},
        {QString(), profile.root() + "/gone", QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dialogStartFolder(c.current, c.remembered), c.start) << c.current.toStdString();
}
