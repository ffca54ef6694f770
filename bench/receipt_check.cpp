// Checks a 50 MB receipt with the program's receipt check and, in the same run, with
// `openssl cms -decrypt` followed by `openssl cms -verify` on the same file, each in its own
// process; prints wall time, CPU time and peak memory of both. Goals: the program's check
// takes at most 0.45 of the openssl pair's wall time, and at most 48 MB, also for the same
// receipt with its envelope in BER (open lengths, the cipher text in pieces).

#include "operations/receipt_check.h"
#include "app/context.h"
#include "app/frontend.h"
#include "child_measure.h"
#include "crypto/cert_store.h"
#include "crypto/certificate.h"
#include "crypto/gost_engine.h"
#include "crypto/key_store.h"
#include "quiet_frontend.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace telva;

using telva::bench::inChild;
using telva::bench::Measure;
using telva::bench::median;

namespace {

constexpr qint64 kContentSize = 50'000'000;
constexpr int kRounds = 3;

bool run(const QString& program, const QStringList& args, const QString& dir) {
    QProcess process;
    process.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CRYPT_PARAMS"),
               QStringLiteral("id-Gost28147-89-CryptoPro-A-ParamSet"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "%s %s failed:\n%s\n", qPrintable(program),
                     qPrintable(args.join(QLatin1Char(' '))), process.readAll().constData());
        return false;
    }
    return true;
}

bool openssl(const QString& dir, const QString& line) {
    return run(QStringLiteral("openssl"), line.split(QLatin1Char(' ')), dir);
}

// A GOST R 34.10-2001 key and self-signed certificate made with the openssl command; the
// fund's is its own root, so it goes into "Root" too.
bool makeIdentity(const QString& dir, const QString& name) {
    return openssl(dir, QStringLiteral("genpkey -engine gost -algorithm gost2001 -pkeyopt "
                                       "paramset:A -out %1-key.pem")
                            .arg(name)) &&
           openssl(dir, QStringLiteral("req -engine gost -new -x509 -days 3650 -key %1-key.pem "
                                       "-subj /CN=%1 -out %1.pem")
                            .arg(name));
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool install(const QString& dir, const QString& name, int store, bool withKey, Frontend& frontend) {
    Result<crypto::Certificate> cert =
        crypto::Certificate::fromAnyEncoding(readAll(dir + QLatin1Char('/') + name + ".pem"));
    Result<crypto::CertStore> opened = crypto::CertStore::open(store);
    Status done = !cert ? cert.status() : !opened ? opened.status() : opened->add(*cert);
    if (done && withKey)
        done = crypto::ImportPrivateKey(*cert, readAll(dir + QLatin1Char('/') + name + "-key.pem"),
                                        &frontend);
    if (!done)
        std::fprintf(stderr, "installing %s: %s\n", qPrintable(name), qPrintable(done.text()));
    return done.ok();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString d = dir.path();
    qputenv("XDG_DATA_HOME", (d + "/data").toUtf8());
    QuietFrontend frontend;
    AppContext ctx(frontend);
    // Certificates read before the engine is there would not know their GOST keys.
    if (!crypto::ensureGostEngine().ok())
        return 1;

    std::printf("preparing a receipt of %lld bytes...\n", static_cast<long long>(kContentSize));
    {
        QFile content(d + "/7701.p7m");
        content.open(QIODevice::WriteOnly);
        std::vector<quint32> block(1 << 20);
        for (qint64 written = 0; written < kContentSize;) {
            QRandomGenerator::global()->fillRange(block.data(), block.size());
            const qint64 n = std::min<qint64>(qint64(block.size() * 4), kContentSize - written);
            content.write(reinterpret_cast<const char*>(block.data()), n);
            written += n;
        }
        QFile page(d + "/7701.htm");
        page.open(QIODevice::WriteOnly);
        page.write("<html><body><p>receipt 7701</p></body></html>");
    }
    if (!run("zip", {"-q", "-0", "receipt.zip", "7701.htm", "7701.p7m"}, d) ||
        !makeIdentity(d, "fund") || !makeIdentity(d, "personal") ||
        !openssl(d, "cms -sign -engine gost -binary -nodetach -outform DER -in receipt.zip "
                    "-signer fund.pem -inkey fund-key.pem -out receipt.p7s") ||
        !openssl(d, "cms -encrypt -engine gost -binary -outform DER -gost89 -in receipt.p7s "
                    "-out 7701.p7e personal.pem") ||
        !QDir(d).mkpath("ber") ||
        !openssl(d, "cms -encrypt -engine gost -binary -outform DER -gost89 -stream -in "
                    "receipt.p7s -out ber/7701.p7e personal.pem") ||
        !install(d, "personal", 0, true, frontend) || !install(d, "fund", 7, false, frontend) ||
        !install(d, "fund", 1, false, frontend))
        return 1;
    QFile::remove(d + "/receipt.p7s");
    std::printf("receipt: %lld bytes\n", static_cast<long long>(QFile(d + "/7701.p7e").size()));

    std::printf("load average before: %s\n", readAll("/proc/loadavg").trimmed().constData());
    std::vector<double> ours, theirs, oursCpu, theirsCpu;
    double oursPeak = 0, theirsPeak = 0;
    for (int round = 0; round < kRounds; ++round) {
        QFile::remove(d + "/7701.zip");
        const Measure our = inChild([&] {
            const bool ok = crypto::CheckReceipt(ctx, d + "/7701.p7e").ok();
            if (!ok)
                std::fprintf(stderr, "check failed: %s\n", qPrintable(frontend.last));
            return ok;
        });
        const Measure their = inChild([&] {
            return openssl(d, "cms -decrypt -engine gost -binary -inform DER -in 7701.p7e -recip "
                              "personal.pem -inkey personal-key.pem -out decrypted.p7s") &&
                   openssl(d, "cms -verify -engine gost -binary -inform DER -in decrypted.p7s "
                              "-noverify -out verified.zip");
        });
        if (!our.ok || !their.ok)
            return 1;
        if (readAll(d + "/verified.zip") != readAll(d + "/7701.zip")) {
            std::fprintf(stderr, "the two checks disagree on the content\n");
            return 1;
        }
        ours.push_back(our.seconds);
        theirs.push_back(their.seconds);
        oursCpu.push_back(our.cpu);
        theirsCpu.push_back(their.cpu);
        oursPeak = std::max(oursPeak, our.peakMb);
        theirsPeak = std::max(theirsPeak, their.peakMb);
        std::printf("round %d: telva %.2f s (cpu %.2f s, %.1f MB), openssl decrypt+verify %.2f s "
                    "(cpu %.2f s, %.1f MB)\n",
                    round + 1, our.seconds, our.cpu, our.peakMb, their.seconds, their.cpu,
                    their.peakMb);
    }
    // The same receipt with the envelope in BER, the cipher text in pieces of open length.
    const Measure ber =
        inChild([&] { return crypto::CheckReceipt(ctx, d + "/ber/7701.p7e").ok(); });
    if (!ber.ok || readAll(d + "/ber/7701.zip") != readAll(d + "/7701.zip")) {
        std::fprintf(stderr, "the BER receipt did not check to the same content\n");
        return 1;
    }
    std::printf("BER envelope: telva %.2f s (cpu %.2f s, %.1f MB)\n", ber.seconds, ber.cpu,
                ber.peakMb);
    oursPeak = std::max(oursPeak, ber.peakMb);
    const double ratio = median(ours) / median(theirs);
    const bool met = ratio <= 0.45 && oursPeak <= 48;
    std::printf("median wall: telva %.2f s, openssl %.2f s, ratio %.2f; peak: telva %.1f MB, "
                "openssl %.1f MB, ratio %.2f; goals (<= 0.45, <= 48 MB) %s\n",
                median(ours), median(theirs), ratio, oursPeak, theirsPeak, oursPeak / theirsPeak,
                met ? "MET" : "MISSED");
    std::printf("median cpu: telva %.2f s, openssl %.2f s; load average at the end: %s\n",
                median(oursCpu), median(theirsCpu), readAll("/proc/loadavg").trimmed().constData());
    return 0;
}
