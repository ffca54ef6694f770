#include "app/frontend.h"
#include "app/paths.h"
#include "app/settings.h"
#include "app/settings_table.h"
#include "fake_frontend.h"
#include "temp_profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace telva;
using telva::test::FakeFrontend;
using telva::test::TempProfile;

namespace {

QString stored(const QString& path, const QString& name) {
    QSettings store(path, QSettings::IniFormat);
    return store.contains(name) ? store.value(name).toString() : QStringLiteral("<absent>");
}

void store(const QString& path, const QString& name, const QString& value) {
    QSettings s(path, QSettings::IniFormat);
    s.setValue(name, value);
}

} // namespace

TEST(Settings, FirstStartWritesOnlyTheForcedValuesUntilExit) {
    TempProfile profile;
    FakeFrontend fe;
    Settings s;
    LoadSettings(s, fe);
    EXPECT_TRUE(fe.errors.isEmpty());
    const QString global = globalSettingsPath();
    const QString mode = modeSettingsPath(QStringLiteral("R7"));
    EXPECT_TRUE(global.endsWith(QStringLiteral("/.config/KVB/TELVA.conf")));
    EXPECT_TRUE(mode.endsWith(QStringLiteral("/.config/KVB/TELVA/R7.conf")));
    EXPECT_EQ(stored(global, QStringLiteral("KVBRootCertUrl")),
              QStringLiteral("http://www.kvb.example/uc/CA_KVB_RF_2012.cer"));
    EXPECT_EQ(stored(mode, QStringLiteral("APCertURL")),
              QStringLiteral("http://www.kvb.example/uc/R7_KVB_RF_2012.cer"));
    EXPECT_EQ(stored(mode, QStringLiteral("GateSendURL")),
              QStringLiteral("http://gate.kvb.example/service2.php"));
    EXPECT_EQ(stored(global, QStringLiteral("ProvName")), QStringLiteral("<absent>"));
    EXPECT_EQ(stored(mode, QStringLiteral("PubStore")), QStringLiteral("<absent>"));

    SaveSettings(s, fe);
    EXPECT_EQ(stored(global, QStringLiteral("proxy")), QStringLiteral(":0"));
    EXPECT_EQ(stored(global, QStringLiteral("ActiveMode")), QStringLiteral("R7"));
    EXPECT_EQ(stored(mode, QStringLiteral("PubStore")), QStringLiteral("7"));
    EXPECT_EQ(stored(mode, QStringLiteral("PrivStore")), QStringLiteral("0"));
    EXPECT_EQ(stored(mode, QStringLiteral("KvitExt")), QStringLiteral("p7e"));
    EXPECT_EQ(stored(mode, QStringLiteral("GateLoadURL")),
              QStringLiteral("http://gate.kvb.example/get_ack.php"));
}

TEST(Settings, ForcedAddressesAreReplacedAndOthersSurvive) {
    TempProfile profile;
    const QString global = globalSettingsPath();
    const QString mode = modeSettingsPath(QStringLiteral("R7"));
    store(global, QStringLiteral("KVBRootCertUrl"), QStringLiteral("http://evil/x"));
    store(global, QStringLiteral("GateHost"), QStringLiteral("127.0.0.1:8080"));
    store(mode, QStringLiteral("APCertURL"), QStringLiteral("http://evil/y"));
    store(mode, QStringLiteral("GateSendURL"), QStringLiteral("http://evil/z"));
    store(mode, QStringLiteral("GateInfoURL"), QStringLiteral("http://mine/info"));
    FakeFrontend fe;
    Settings s;
    LoadSettings(s, fe);
    EXPECT_EQ(s.kvbRootCertUrl, QStringLiteral("http://www.kvb.example/uc/CA_KVB_RF_2012.cer"));
    EXPECT_EQ(s.apCertUrl, QStringLiteral("http://www.kvb.example/uc/R7_KVB_RF_2012.cer"));
    EXPECT_EQ(s.gateSendUrl, QStringLiteral("http://127.0.0.1:8080/service2.php"));
    EXPECT_EQ(s.gateInfoUrl, QStringLiteral("http://mine/info"));
    EXPECT_EQ(s.gateLoadUrl, QStringLiteral("http://127.0.0.1:8080/get_ack.php"));
}

TEST(Settings, ListingShowsExactlyWhatIsSaved) {
    TempProfile profile;
    FakeFrontend fe;
    Settings s;
    LoadSettings(s, fe);
    s.proxy.user = QStringLiteral("ivan");
    SaveSettings(s, fe);
    const QSettings global(globalSettingsPath(), QSettings::IniFormat);
    const QSettings mode(modeSettingsPath(s.activeMode), QSettings::IniFormat);
    const QStringList lines = settingsListing(s).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), global.allKeys().size() + mode.allKeys().size());
    for (const QString& line : lines) {
        const QString name = line.section(QLatin1Char('='), 0, 0);
        EXPECT_NE(global.contains(name), mode.contains(name)) << name.toStdString();
        const QSettings& file = global.contains(name) ? global : mode;
        EXPECT_EQ(file.value(name).toString(), line.section(QLatin1Char('='), 1))
            << name.toStdString();
    }
}

TEST(Settings, OtherModeUsesItsOwnKeyAndLeavesR7Alone) {
    TempProfile profile;
    store(globalSettingsPath(), QStringLiteral("ActiveMode"), QStringLiteral("X"));
    store(modeSettingsPath(QStringLiteral("R7")), QStringLiteral("EncExt"), QStringLiteral("e7a"));
    FakeFrontend fe;
    Settings s;
    LoadSettings(s, fe);
    EXPECT_EQ(s.encExt, QStringLiteral("er7"));
    s.encExt = QStringLiteral("esl");
    SaveSettings(s, fe);
    EXPECT_EQ(stored(modeSettingsPath(QStringLiteral("X")), QStringLiteral("EncExt")),
              QStringLiteral("esl"));
    EXPECT_EQ(stored(modeSettingsPath(QStringLiteral("R7")), QStringLiteral("EncExt")),
              QStringLiteral("e7a"));
    EXPECT_TRUE(InitArchiveBaseFolder(s.activeMode).endsWith(QStringLiteral("/KVB/TELVA/X")));
}

TEST(Settings, BadIntegersFallBackAndWrongTypesAreNotWrittenBackEmpty) {
    TempProfile profile;
    const QString global = globalSettingsPath();
    const QString mode = modeSettingsPath(QStringLiteral("R7"));
    store(global, QStringLiteral("ProvType"), QStringLiteral("abc"));
    store(mode, QStringLiteral("PubStore"), QString());
    {
        QSettings s(mode, QSettings::IniFormat);
        s.setValue(QStringLiteral("PrivSubject"),
                   QStringList{QStringLiteral("a"), QStringLiteral("b")});
    }
    FakeFrontend fe;
    Settings s;
    LoadSettings(s, fe);
    EXPECT_EQ(s.provType, 0);
    EXPECT_EQ(s.pub.store, 7);
    ASSERT_EQ(fe.errors.size(), 1);
    EXPECT_EQ(fe.errors.first(), QStringLiteral("Неверный тип данных для 'PrivSubject'"));
    SaveSettings(s, fe);
    EXPECT_EQ(QSettings(mode, QSettings::IniFormat)
                  .value(QStringLiteral("PrivSubject"))
                  .toStringList()
                  .size(),
              2);
    // Once the person sets it, the value is written after all.
    s.priv.subject = QStringLiteral("Иванов");
    SaveSettings(s, fe);
    EXPECT_EQ(stored(mode, QStringLiteral("PrivSubject")), QStringLiteral("Иванов"));
}

// The window and the terminal program on one profile: each writes only what it changed, so
// neither undoes the other, whichever saves first.
TEST(Settings, TwoProgramsKeepEachOthersChanges) {
    for (const bool windowFirst : {true, false}) {
        TempProfile profile;
        FakeFrontend fe;
        Settings window, terminal;
        LoadSettings(window, fe);
        LoadSettings(terminal, fe);
        window.autoRefresh = false;
        terminal.proxy.host = QStringLiteral("10.0.0.1");
        terminal.proxy.port = 3128;
        SaveSettings(windowFirst ? window : terminal, fe);
        SaveSettings(windowFirst ? terminal : window, fe);
        // A later save of the one changes nothing the other wrote.
        SaveSettings(window, fe);
        SaveSettings(terminal, fe);
        EXPECT_EQ(stored(globalSettingsPath(), QStringLiteral("AutoRefresh")), QStringLiteral("0"))
            << windowFirst;
        EXPECT_EQ(stored(globalSettingsPath(), QStringLiteral("proxy")),
                  QStringLiteral("10.0.0.1:3128"))
            << windowFirst;
        EXPECT_TRUE(fe.errors.isEmpty()) << fe.errors.join('\n').toStdString();
    }
}

TEST(Settings, UnreadableProxyPortIsReportedAndKept) {
    TempProfile profile;
    store(globalSettingsPath(), QStringLiteral("proxy"), QStringLiteral("host:port"));
    FakeFrontend fe;
    Settings s;
    LoadSettings(s, fe);
    ASSERT_EQ(fe.errors.size(), 1);
    EXPECT_EQ(fe.errors.first(), QStringLiteral("'port' - неверное целое значение"));
    EXPECT_TRUE(s.proxy.host.isEmpty());
    SaveSettings(s, fe);
    EXPECT_EQ(stored(globalSettingsPath(), QStringLiteral("proxy")), QStringLiteral("host:port"));
}

TEST(SplitHostPort, FollowsTheThreeRules) {
    QString host;
    int port = 0;
    EXPECT_TRUE(SplitHostPort(QStringLiteral("10.0.0.1:3128"), host, port).ok());
    EXPECT_EQ(host, QStringLiteral("10.0.0.1"));
    EXPECT_EQ(port, 3128);
    EXPECT_TRUE(SplitHostPort(QStringLiteral("proxyhost"), host, port).ok());
    EXPECT_EQ(host, QStringLiteral("proxyhost"));
    EXPECT_EQ(port, 80);
    EXPECT_TRUE(SplitHostPort(QStringLiteral(":0"), host, port).ok());
    EXPECT_TRUE(host.isEmpty());
    EXPECT_EQ(port, 0);
    host = QStringLiteral("keep");
    port = 5;
    EXPECT_TRUE(SplitHostPort(QString(), host, port).ok());
    EXPECT_EQ(host, QStringLiteral("keep"));
    const Status bad = SplitHostPort(QStringLiteral("h:"), host, port);
    EXPECT_FALSE(bad.ok());
    EXPECT_EQ(bad.text(), QStringLiteral("'' - неверное целое значение"));
}

TEST(StatusText, AppendsReasonWithoutItsFullStop) {
    EXPECT_EQ(statusText(QStringLiteral("Ошибка при шифровании "), QStringLiteral("Нет ключа.")),
              QStringLiteral("Ошибка при шифровании (Нет ключа)."));
    EXPECT_EQ(statusText(QStringLiteral("Готово"), QString()), QStringLiteral("Готово"));
    EXPECT_EQ(statusText(QStringLiteral("X "), QStringLiteral("")), QStringLiteral("X ()."));
}

// A damaged per-mode file is set aside and the defaults taken; a damaged global file (it
// holds the fund's hosts) keeps the program from starting and is left as it is.
TEST(Settings, FileThatCannotBeParsedIsSetAsideNotOverwritten) {
    const QByteArray utf16 =
        QByteArray::fromHex("fffe") +
        QByteArray::fromRawData(reinterpret_cast<const char*>(u"GateHost=my.gate.example\n"), 50);
    const struct {
        const char* name;
        QByteArray bytes;
        std::function<QString()> path;
        bool refused;
    } cases[] = {
        {"UTF-16 global file", utf16, [] { return globalSettingsPath(); }, true},
        {"garbage mode file", QByteArray("\x89PNG\r\n\x1a\n\0\0garbage", 18),
         [] { return modeSettingsPath(QStringLiteral("R7")); }, false},
    };
    for (const auto& c : cases) {
        TempProfile profile;
        const QString path = c.path();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.bytes) == c.bytes.size());
        file.close();
        EXPECT_EQ(CheckSettingsStore().ok(), !c.refused) << c.name;
        FakeFrontend fe;
        Settings s;
        LoadSettings(s, fe);
        SaveSettings(s, fe);

        const QStringList aside = QDir(QFileInfo(path).absolutePath())
                                      .entryList({QFileInfo(path).fileName() + ".broken-*"});
        ASSERT_EQ(fe.errors.size(), 1) << c.name << fe.errors.join('\n').toStdString();
        EXPECT_FALSE(fe.errors.first().contains(QStringLiteral("Ошибка записи"))) << c.name;
        if (c.refused) {
            EXPECT_TRUE(aside.isEmpty()) << c.name;
            EXPECT_EQ(telva::test::readFileBytes(path), c.bytes) << c.name;
            EXPECT_EQ(fe.errors.first(),
                      settingsUnreadableText(path, QStringLiteral("файл поврежден")));
            continue;
        }
        ASSERT_EQ(aside.size(), 1) << c.name;
        const QString kept = QFileInfo(path).absolutePath() + '/' + aside.first();
        EXPECT_EQ(telva::test::readFileBytes(kept), c.bytes) << c.name;
        EXPECT_TRUE(fe.errors.first().contains(kept)) << c.name;
    }
}

// Something other than a readable regular file in place of a settings file is named, with
// the reason, instead of waited on (a FIFO) or taken for an empty store.
TEST(Settings, SpecialOrUnreadableFilesAreRefusedWithoutWaiting) {
    const struct {
        const char* name;
        std::function<QString()> path;
        std::function<bool(const QString&)> plant;
        const char* reason;
    } cases[] = {
        {"FIFO global", [] { return globalSettingsPath(); },
         [](const QString& p) { return mkfifo(QFile::encodeName(p).constData(), 0600) == 0; },
         "это не обычный файл"},
        {"folder global", [] { return globalSettingsPath(); },
         [](const QString& p) { return QDir().mkpath(p); }, "это не обычный файл"},
        {"FIFO mode file", [] { return modeSettingsPath(QStringLiteral("R7")); },
         [](const QString& p) { return mkfifo(QFile::encodeName(p).constData(), 0600) == 0; },
         "это не обычный файл"},
        {"global without read permission", [] { return globalSettingsPath(); },
         [](const QString& p) {
             QFile f(p);
             return f.open(QIODevice::WriteOnly) && f.write("GateHost=g\n") > 0 &&
                    f.setPermissions(QFileDevice::WriteOwner);
         },
         "нет прав на чтение"},
    };
    for (const auto& c : cases) {
        if (geteuid() == 0 && QByteArray(c.reason) == "нет прав на чтение")
            continue; // the superuser reads any file
        TempProfile profile;
        const QString path = c.path();
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(c.plant(path)) << c.name;
        const QString text = settingsUnreadableText(path, QString::fromUtf8(c.reason));
        const Status checked = CheckSettingsStore();
        EXPECT_EQ(checked.text(), text) << c.name;
        FakeFrontend fe;
        Settings s;
        LoadSettings(s, fe);
        EXPECT_TRUE(s.storeUnreadable) << c.name;
        EXPECT_EQ(fe.errors, QStringList{text}) << c.name;
    }
}
