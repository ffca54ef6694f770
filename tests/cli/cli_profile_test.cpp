// The terminal program beside other runs on one profile: gateway requests of programs running
// at once keep their spacing, a settings file that cannot be read stops it, a receipt that
// does not fit on the disk leaves nothing, a wall clock set back does not stretch a wait.
#include "app/settings.h"
#include "cli/cli.h"
#include "cli_runner.h"
#include "fake_clock.h"
#include "http_test_server.h"
#include "operations/report_status.h"
#include "temp_profile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>

using namespace telva;
using namespace telva::test;

namespace {

const QByteArray kId = "7701-0001-000123";
const QString kCli = QStringLiteral(TELVA_BINARY_DIR "/telva-cli");
constexpr int kRunMs = 120000;

class CliProfile : public ::testing::Test {
protected:
    TempProfile profile;
    HttpTestServer gate;

    CliProfile() {
        {
            QSettings global(globalSettingsPath(), QSettings::IniFormat);
            global.setValue(QStringLiteral("GateHost"), gate.hostPort());
            global.setValue(QStringLiteral("KVBSiteHost"), gate.hostPort());
            global.setValue(QStringLiteral("DocGateHost"), gate.hostPort());
        }
        gate.on("GET", "/", ScriptedResponse::ok("<html>fund</html>"));
        profile.writeFile(QStringLiteral("home/.local/share/KVB/TELVA/R7/ARC/") +
                              QString::fromLatin1(kId + '/' + kId + ".er7"),
                          "x");
    }
    QString folder() const {
        return profile.dataHome() + QStringLiteral("/KVB/TELVA/R7/ARC/") + QString::fromLatin1(kId);
    }
    qsizetype statusRequests() const {
        qsizetype n = 0;
        for (const RecordedRequest& request : gate.requests())
            n += request.path == "/kvb/statusreport";
        return n;
    }
};

// A clock put back an hour by the first wait, as a time service might do.
class SetBackClock : public ManualClock {
public:
    Status sleep(int milliseconds, Frontend* frontend) override {
        Status waited = ManualClock::sleep(milliseconds, frontend);
        if (!setBack_) {
            setBack_ = true;
            setWallClock(now().addSecs(-3600));
        }
        return waited;
    }

private:
    bool setBack_ = false;
};

} // namespace

// Three programs ask at once; the server's own clock sees every two requests 10 s apart.
TEST_F(CliProfile, SpacingHoldsBetweenProgramsRunningAtOnce) {
    std::mutex mutex;
    std::vector<qint64> arrivals;
    QElapsedTimer since;
    since.start();
    gate.on("GET", "/kvb/statusreport", [&](const RecordedRequest&) {
        const std::lock_guard<std::mutex> lock(mutex);
        arrivals.push_back(since.elapsed());
        return ScriptedResponse::ok("<p>Отчет обрабатывается</p>");
    });
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < 3; ++i) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->start(kCli, {"reports", "refresh", QString::fromLatin1(kId)});
    }
    for (const auto& run : runs) {
        ASSERT_TRUE(run->waitForFinished(kRunMs));
        EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().toStdString();
    }
    const std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(arrivals.size(), 3u);
    std::sort(arrivals.begin(), arrivals.end());
    for (size_t i = 1; i < arrivals.size(); ++i)
        EXPECT_GE(arrivals[i] - arrivals[i - 1], 10000) << i;
}

TEST_F(CliProfile, ASettingsFileThatCannotBeReadStopsItWithThePathAndTheReason) {
    const QString path = globalSettingsPath();
    const struct {
        const char* name;
        std::function<bool()> plant;
        const char* reason;
    } cases[] = {
        {"FIFO", [&] { return mkfifo(QFile::encodeName(path).constData(), 0600) == 0; },
         "это не обычный файл"},
        {"damaged",
         [&] {
             QFile file(path);
             const QByteArray utf16 =
                 QByteArray::fromHex("fffe") +
                 QByteArray::fromRawData(reinterpret_cast<const char*>(u"GateHost=g\n"), 22);
             return file.open(QIODevice::WriteOnly) && file.write(utf16) == utf16.size();
         },
         "файл поврежден"},
    };
    for (const auto& c : cases) {
        QFile::remove(path);
        ASSERT_TRUE(c.plant()) << c.name;
        QProcess run;
        run.start(kCli, {"reports", "refresh", QString::fromLatin1(kId)});
        ASSERT_TRUE(run.waitForFinished(kRunMs)) << c.name;
        EXPECT_EQ(run.exitCode(), int(ExitSettingsUnreadable)) << c.name;
        EXPECT_EQ(QString::fromUtf8(run.readAllStandardError()).toStdString(),
                  (settingsUnreadableText(path, QString::fromUtf8(c.reason)) + '\n').toStdString())
            << c.name;
        EXPECT_EQ(statusRequests(), 0) << c.name;
    }
}

// A small file system over the report folder, mounted in a namespace of the test's own: the
// receipt does not fit, and nothing of it stays.
TEST_F(CliProfile, AReceiptOntoAFullDiskLeavesNothingAndSaysSo) {
    QProcess probe;
    probe.start(QStringLiteral("unshare"),
                {"-rm", "sh", "-c", "mount -t tmpfs -o size=64k tmpfs \"$0\"", folder()});
    if (!probe.waitForFinished(kRunMs) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0)
        GTEST_SKIP() << "no small file system can be mounted here (unshare -rm: "
                     << probe.readAllStandardError().trimmed().toStdString() << ")";
    gate.on("GET", "/kvb/statusreport?id=" + kId,
            ScriptedResponse::ok("<a href=\"/invoice?id=" + kId + "\">Квитанция</a>"));
    gate.on("GET", "/invoice?id=" + kId,
            ScriptedResponse::ok(QByteArray(256 << 10, 'r'), "application/octet-stream"));
    QProcess run;
    run.start(QStringLiteral("unshare"),
              {"-rm", "sh", "-c",
               "mount -t tmpfs -o size=64k tmpfs \"$1\" || exit 99; \"$0\" reports refresh \"$2\"; "
               "rc=$?; ls -A \"$1\"; exit $rc",
               kCli, folder(), QString::fromLatin1(kId)});
    ASSERT_TRUE(run.waitForFinished(kRunMs));
    EXPECT_EQ(run.exitCode(), 1);
    const QString receipt = folder() + QLatin1Char('/') + QString::fromLatin1(kId) + ".p7e";
    EXPECT_EQ(QString::fromUtf8(run.readAllStandardError()).toStdString(),
              (diskFullText(receipt) + '\n').toStdString());
    // Listed by the shell inside the namespace, where the small file system is: empty.
    EXPECT_EQ(run.readAllStandardOutput(), QByteArray());
}

TEST_F(CliProfile, WaitEndsOnTimeWhenTheClockIsSetBack) {
    SetBackClock clock;
    Clock::setSystem(&clock);
    const std::unique_ptr<Clock, void (*)(Clock*)> restore(
        &clock, [](Clock*) { Clock::setSystem(nullptr); });
    gate.on("GET", "/kvb/statusreport", ScriptedResponse::ok("<p>Отчет обрабатывается</p>"));
    const CliRun run =
        runCliInProcess({"reports", "wait", QString::fromLatin1(kId), "--timeout", "60"});
    EXPECT_EQ(run.status, int(ExitProcessing)) << run.err.toStdString();
    // One request every 10 s for a minute; by the wall clock it would go on for an hour more.
    EXPECT_GE(statusRequests(), 2);
    EXPECT_LE(statusRequests(), 8);
}
