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
