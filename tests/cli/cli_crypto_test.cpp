#include "app/context.h"
#include "app/safe_file.h"
#include "cli/last_signing.h"
#include "cli_runner.h"
#include "crypto/cert_store.h"
#include "crypto/sign_encrypt.h"
#include "fake_frontend.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <sys/prctl.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace telva;
using telva::test::CliRun;
using telva::test::runCliInProcess;
using telva::test::TestPki;

namespace {

class CliCryptoTest : public ::testing::Test {
protected:
    void SetUp() override {
        const TestPki& pki = TestPki::instance();
        personal = telva::test::writePkiFiles(pki.personal, profile.root() + "/pki", "personal");
        fund = telva::test::writePkiFiles(pki.fundAp, profile.root() + "/pki", "fund");
    }

    void installAndChoose() {
        ASSERT_EQ(runCliInProcess({"certs", "import", "--store", "0", personal.certDer, "--key",
                                   personal.keyPem})
                      .status,
                  0);
        ASSERT_EQ(runCliInProcess({"certs", "import", "--store", "7", fund.certPem}).status, 0);
        ASSERT_EQ(
            runCliInProcess({"certs", "choose", "personal", "--store", "0", "--serial", "0102"})
                .status,
            0);
        ASSERT_EQ(
            runCliInProcess({"certs", "choose", "fund", "--store", "7", "--serial", "00a1b2c3"})
                .status,
            0);
    }

    QString report(const QString& name, int size) {
        QByteArray bytes = "<?xml version=\"1.0\"?>\n<R7REPORT>";
        bytes += QByteArray(size, 'x');
        bytes = bytes.left(size - 12) + "</R7REPORT>\n";
        return profile.writeFile("work/" + name, bytes.left(size));
    }

    telva::test::TempProfile profile;
    telva::test::PkiFiles personal;
    telva::test::PkiFiles fund;
};

} // namespace

TEST_F(CliCryptoTest, ImportListAndChooseLikeTheChooser) {
    const CliRun imported = runCliInProcess(
        {"certs", "import", "--store", "0", personal.certPem, "--key", personal.keyPem});
    ASSERT_EQ(imported.status, 0) << imported.err.toStdString();
    EXPECT_TRUE(imported.out.contains(QStringLiteral("Иванова Мария Петровна")));

    const CliRun listed = runCliInProcess({"certs", "list", "--store", "0"});
    ASSERT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out,
              QStringLiteral("Иванова Мария Петровна\tБухгалтерия ООО Ромашка\t7701000001\t"
                             "Test CA 2\t05.03.2024 09:07:00\t30.06.2040 15:00:00\t0102\n"));
    EXPECT_EQ(runCliInProcess({"certs", "import", "--store", "7", fund.certDer}).status, 0);
    // The fund's requirements filter personal certificates only.
    EXPECT_TRUE(runCliInProcess({"certs", "list", "--store", "7"})
                    .out.startsWith(QStringLiteral("Уполномоченное лицо КВБ РФ\t")));

    const CliRun chosen =
        runCliInProcess({"certs", "choose", "fund", "--store", "7", "--serial", "00A1B2C3"});
    ASSERT_EQ(chosen.status, 0) << chosen.err.toStdString();
    const QString settings = runCliInProcess({"settings"}).out;
    EXPECT_TRUE(settings.contains(QStringLiteral("PubSernum=00A1B2C3\n")));
    EXPECT_TRUE(settings.contains(QStringLiteral("PubIssuer=Корневой УЦ КВБ РФ (тест)\n")));
    EXPECT_TRUE(settings.contains(QStringLiteral("PubOrg=Уполномоченное лицо КВБ РФ\n")));
    EXPECT_TRUE(settings.contains(QStringLiteral("PubStore=7\n")));

    EXPECT_EQ(runCliInProcess({"certs", "choose", "fund", "--store", "7", "--serial", "FF"}).status,
              1);
    EXPECT_EQ(runCliInProcess({"certs", "list", "--store", "8"}).status, 1);
    const CliRun broken = runCliInProcess({"certs", "import", "--store", "1", personal.keyPem});
    EXPECT_EQ(broken.status, 1);
    EXPECT_TRUE(broken.err.contains(QStringLiteral("Не удалось открыть сертификат.")));
}

TEST_F(CliCryptoTest, ProvidersListsTheGostEngine) {
    const CliRun run = runCliInProcess({"providers"});
    ASSERT_EQ(run.status, 0);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral("\t75")));
}

TEST_F(CliCryptoTest, SignWritesTheKindsOutputAndRemembersTheFiles) {
    installAndChoose();
    const QString in = report("report.xml", 500);
    const CliRun run = runCliInProcess({"sign", in});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QString out = profile.root() + "/work/report.er7";
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("Файл зашифрован и подписан.\n")));
    EXPECT_TRUE(QFile::exists(out));

    telva::test::FakeFrontend frontend;
    AppContext ctx(frontend);
    ctx.archiveBaseFolder = profile.dataHome() + "/KVB/TELVA/R7";
    QString lastIn, lastOut;
    ASSERT_TRUE(loadLastSigning(ctx, lastIn, lastOut));
    EXPECT_EQ(lastIn, in);
    EXPECT_EQ(lastOut, out);
    // A FIFO planted in the record's place is passed over, not waited on.
    const QByteArray record = QFile::encodeName(ctx.archiveBaseFolder + "/last-signing.conf");
    ASSERT_EQ(::unlink(record.constData()), 0);
    ASSERT_EQ(::mkfifo(record.constData(), 0600), 0);
    EXPECT_FALSE(loadLastSigning(ctx, lastIn, lastOut));
    EXPECT_TRUE(runCliInProcess({"settings"}).out.contains(QStringLiteral("ProvType=75\n")));
}

// The output may not be the report itself under any of its names, on the terminal's way and
// in the operation the window calls; nothing is written and the report stays as it was.
TEST_F(CliCryptoTest, SigningOverTheReportItselfIsRefusedUnderEveryName) {
    installAndChoose();
    const QString in = report("report.xml", 500);
    const QString er7 = report("named.er7", 500);
    const QString work = profile.root() + "/work";
    ASSERT_EQ(::symlink(QFile::encodeName(in).constData(),
                        QFile::encodeName(work + "/link.er7").constData()),
              0);
    ASSERT_EQ(::link(QFile::encodeName(in).constData(),
                     QFile::encodeName(work + "/second.er7").constData()),
              0);
    const struct {
        const char* what;
        QString in;
        QString out; // empty: named after the input's kind
    } cases[] = {
        {"same path", in, in},
        {"same path spelled otherwise", in, work + "/../work/./report.xml"},
        {"a link to the input", in, work + "/link.er7"},
        {"a second name of the input", in, work + "/second.er7"},
        {"the input through a link", work + "/link.er7", in},
        {"an input named like its output", er7, QString()},
    };
    const QStringList before = QDir(work).entryList(QDir::Files | QDir::System);
    telva::test::FakeFrontend frontend;
    AppContext ctx(frontend);
    for (const auto& c : cases) {
        const QByteArray original = telva::test::readFileBytes(c.in);
        const QString out = c.out.isEmpty() ? er7 : c.out;
        const QString text = crypto::outputIsInputText(out);
        QStringList args{"sign", c.in};
        if (!c.out.isEmpty())
            args << c.out;
        const CliRun run = runCliInProcess(args);
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_TRUE(run.err.contains(text)) << c.what << run.err.toStdString();
        const Result<QString> core = crypto::SignAndEncrypt(ctx, c.in, out);
        EXPECT_EQ(core.text(), text) << c.what;
        EXPECT_EQ(telva::test::readFileBytes(c.in), original) << c.what;
        EXPECT_EQ(QDir(work).entryList(QDir::Files | QDir::System), before) << c.what;
    }
}

TEST_F(CliCryptoTest, SignFailuresExitWithTheirText) {
    installAndChoose();
    const CliRun small =
        runCliInProcess({"sign", report("small.xml", 99), profile.root() + "/o.er7"});
    EXPECT_EQ(small.status, 1);
    EXPECT_TRUE(small.err.contains(QStringLiteral("имеет недопустимо малый размер.")));

    // An expired personal certificate: "yes" aborts without a status text, "no" signs.
    const auto expired =
        telva::test::writePkiFiles(TestPki::instance().expired, profile.root() + "/pki", "old");
    ASSERT_EQ(runCliInProcess({"certs", "import", expired.certPem, "--key", expired.keyPem}).status,
              0);
    ASSERT_EQ(
        runCliInProcess({"certs", "choose", "personal", "--store", "0", "--serial", "0304"}).status,
        0);
    const QString in = report("report.xml", 300);
    const CliRun aborted = runCliInProcess({"sign", "--answer", "yes", in});
    EXPECT_EQ(aborted.status, 1);
    EXPECT_TRUE(aborted.err.contains(QStringLiteral("Операция прервана.")));
    EXPECT_FALSE(QFile::exists(profile.root() + "/work/report.er7"));
    EXPECT_EQ(runCliInProcess({"sign", "--answer", "no", in}).status, 0);
    EXPECT_EQ(runCliInProcess({"sign", "--answer", "maybe", in}).status, 2);
}

TEST_F(CliCryptoTest, EnvironmentCannotChangeTheContentParameterSet) {
    installAndChoose();
    const QString in = report("report.xml", 400);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CRYPT_PARAMS"), QStringLiteral("id-tc26-gost-28147-param-Z"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TELVA_BINARY_DIR "/telva-cli"), {"sign", in});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QByteArray message = telva::test::readFileBytes(profile.root() + "/work/report.er7");
    const QByteArray header = message.left(600);
    EXPECT_TRUE(header.contains(QByteArray::fromHex("06072a850302021f01")));    // CryptoPro-A
    EXPECT_FALSE(header.contains(QByteArray::fromHex("06082a85030701020501"))); // TC26 Z
}

TEST_F(CliCryptoTest, SigningOntoAFullDiskLeavesNoOutput) {
    installAndChoose();
    const QString in = report("big.xml", 1 << 16);
    const QString out = profile.root() + "/work/big.er7";
    // The shell keeps the child below 8 KiB of file size, as a full disk would.
    QProcess process;
    process.start("sh",
                  {"-c", "trap '' XFSZ; ulimit -f 16; exec \"$0\" sign --answer no \"$1\" \"$2\"",
                   QStringLiteral(TELVA_BINARY_DIR "/telva-cli"), in, out});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError())
                    .contains(QStringLiteral("Ошибка записи в \"%1\".").arg(out)));
    EXPECT_EQ(QDir(profile.root() + "/work").entryList(QDir::Files | QDir::Hidden),
              QStringList{"big.xml"});
}

TEST_F(CliCryptoTest, MissingGostEngineSaysWhatToInstall) {
    const QString in = report("report.xml", 300);
    const QString out = profile.root() + "/work/report.er7";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QDir().mkpath(profile.root() + "/no-engines");
    env.insert("OPENSSL_ENGINES", profile.root() + "/no-engines");
    env.insert("OPENSSL_CONF", profile.writeFile("openssl.cnf", ""));
    for (const QStringList& args : {QStringList{"providers"}, QStringList{"sign", in, out}}) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TELVA_BINARY_DIR "/telva-cli"), args);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 1) << args.first().toStdString();
        EXPECT_TRUE(process.readAllStandardError().contains("libengine-gost-openssl"))
            << args.first().toStdString();
    }
    EXPECT_FALSE(QFile::exists(out));
}

TEST(CliSecrets, PasswordsLeaveTheEnvironmentAndCoreDumpsGoOff) {
    telva::test::TempProfile profile;
    qputenv("TELVA_PROXY_PASSWORD", "прокси-пароль");
    qputenv("TELVA_KEY_PASSWORD", "пароль ключа");
    EXPECT_EQ(runCliInProcess({"--proxy-user", "clerk", "settings"}).status, 0);
    EXPECT_FALSE(qEnvironmentVariableIsSet("TELVA_PROXY_PASSWORD"));
    EXPECT_FALSE(qEnvironmentVariableIsSet("TELVA_KEY_PASSWORD"));
    EXPECT_EQ(prctl(PR_GET_DUMPABLE), 0);
}
