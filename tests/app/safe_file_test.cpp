#include "app/safe_file.h"
#include "temp_profile.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace telva;
using telva::test::readFileBytes;
using telva::test::TempProfile;

namespace {

class SafeFile : public ::testing::Test {
protected:
    TempProfile profile;
    QString dir = profile.root();
    QString at(const char* name) const { return dir + QLatin1Char('/') + QLatin1String(name); }
    static void link(const QString& target, const QString& path) {
        ASSERT_EQ(
            symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
    }
    static mode_t modeOf(const QString& path) {
        struct stat info {};
        return lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
    }
};

} // namespace

TEST_F(SafeFile, OnlyRegularFilesAreReadAndOnlyUpToTheLimit) {
    const QString regular = profile.writeFile("regular", "содержимое");
    const struct {
        const char* name;
        std::function<void(const QString&)> plant;
    } hostile[] = {
        {"link to /dev/zero", [](const QString& p) { link("/dev/zero", p); }},
        {"link to a regular file", [&](const QString& p) { link(regular, p); }},
        {"dangling link", [&](const QString& p) { link(dir + "/nowhere", p); }},
        {"FIFO",
         [](const QString& p) { ASSERT_EQ(mkfifo(QFile::encodeName(p).constData(), 0600), 0); }},
        {"folder", [](const QString& p) { ASSERT_TRUE(QDir().mkpath(p)); }},
        {"sparse file past the limit",
         [](const QString& p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(kSmallFileLimit + 1));
         }},
    };
    for (const auto& c : hostile) {
        const QString path = dir + QStringLiteral("/planted");
        c.plant(path);
        EXPECT_FALSE(readRegularFile(path, kSmallFileLimit).ok()) << c.name;
        QFile::remove(path);
        QDir(path).removeRecursively();
    }
    const Result<QByteArray> read = readRegularFile(regular, kSmallFileLimit);
    ASSERT_TRUE(read.ok()) << read.text().toStdString();
    EXPECT_EQ(*read, QByteArray("содержимое"));
}

TEST_F(SafeFile, WritesReplaceALinkAndNeverWriteThroughIt) {
    const QString victim = profile.writeFile("victim", "чужое");
    const struct {
        const char* name;
        QString target;
    } links[] = {{"link to a file", victim}, {"dangling link", at("created-elsewhere")}};
    for (const auto& c : links) {
        const QString path = at("archived");
        QFile::remove(path);
        link(c.target, path);
        ASSERT_TRUE(writeFileReplacing(path, "новое").ok()) << c.name;
        EXPECT_TRUE(S_ISREG(modeOf(path))) << c.name;
        EXPECT_EQ(modeOf(path) & 0777, 0600u) << c.name;
        EXPECT_EQ(readFileBytes(path), QByteArray("новое")) << c.name;
    }
    EXPECT_EQ(readFileBytes(victim), QByteArray("чужое"));
    EXPECT_FALSE(QFile::exists(at("created-elsewhere")));
}

TEST_F(SafeFile, AWriteThatFailsLeavesNothingBehind) {
    // A disk that fills up: a child process may write no more than 4 KiB.
    const QByteArray big(1 << 16, 'x');
    for (const bool hadOne : {false, true}) {
        const QString folder = dir + (hadOne ? "/had" : "/new");
        QDir().mkpath(folder);
        const QString path = folder + "/out";
        if (hadOne)
            profile.writeFile("had/out", "прежнее");
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            _exit(writeFileReplacing(path, big).ok() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << hadOne;
        const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(left, hadOne ? QStringList{"out"} : QStringList{})
            << left.join(' ').toStdString();
        if (hadOne) {
            EXPECT_EQ(readFileBytes(path), QByteArray("прежнее"));
        }
    }
}

TEST_F(SafeFile, FoldersArePrivateWhateverTheUmaskAndNeverLinks) {
    const mode_t saved = umask(022);
    EXPECT_TRUE(makePrivateFolder(at("a/b/c")));
    umask(saved);
    EXPECT_EQ(modeOf(at("a/b")) & 0777, 0700u);
    EXPECT_EQ(modeOf(at("a/b/c")) & 0777, 0700u);
    link(at("a/b"), at("linked"));
    EXPECT_FALSE(makePrivateFolder(at("linked")));
    EXPECT_FALSE(makePrivateFolder(at("linked/")));
}
