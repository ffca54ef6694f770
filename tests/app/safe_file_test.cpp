#include "app/safe_file.h"
#include "temp_profile.h"

#include <QDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace telva;

TEST(SafeFile, AWriteOntoAFullDiskKeepsTheEarlierFileAndLeavesNothingElse) {
    telva::test::TempProfile profile;
    const QString path = profile.writeFile("folder/out", "прежнее");
    // A disk that fills up: the child process may write no more than 4 KiB.
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(writeFileReplacing(path, QByteArray(1 << 16, 'x')).ok() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(QDir(profile.root() + "/folder").entryList(QDir::Files | QDir::Hidden),
              QStringList{"out"});
    EXPECT_EQ(telva::test::readFileBytes(path), QByteArray("прежнее"));
}

TEST(SafeFile, OnlyTemporariesWhoseWriterIsGoneAreSweptAway) {
    telva::test::TempProfile profile;
    QDir().mkpath(profile.root() + "/folder");
    // A writer killed in the middle of its write: its process is gone, its file stays.
    const pid_t child = fork();
    if (child == 0) {
        ReplacingFile file(profile.root() + "/folder/out");
        if (!file.open() || !file.write("half", 4))
            _exit(1);
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const QString live = QStringLiteral(".telva-%1-abc").arg(getpid());
    for (const QString& name : {live, QStringLiteral(".telva-abc"), QStringLiteral("report.xml"),
                                QStringLiteral(".telva-%1-ABC").arg(child)})
        profile.writeFile("folder/" + name, "x");
    const QStringList before =
        QDir(profile.root() + "/folder").entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(before.size(), 5) << before.join(' ').toStdString();

    EXPECT_EQ(removeStaleTemporaries(profile.root() + "/folder"), 1);
    QStringList left = QDir(profile.root() + "/folder").entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QStringList expected{live, QStringLiteral(".telva-abc"), QStringLiteral("report.xml"),
                         QStringLiteral(".telva-%1-ABC").arg(child)};
    expected.sort();
    EXPECT_EQ(left, expected);
}
