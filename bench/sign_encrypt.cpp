// Signs and encrypts 1 MB, 100 MB and 1 GB reports (5 GB too with --large) with a GOST R
// 34.10-2001 key, and 100 MB with a GOST R 34.10-2012 (256) key, and, on the same files, runs
// the two-step `openssl cms -sign -noattr | openssl cms -encrypt` pipeline with the key's
// digest (md_gost94 or streebog256);
// prints wall time (median of three runs below 1 GB, one run above) and peak memory of
// both, and the ratios. Each measurement runs in its own process so that peaks do not mix.
// Goals: ours at most 0.40 of openssl's time at 100 MB with the GOST R 34.10-2001 key, and at
// most 48 MB at every size.

#include "crypto/sign_encrypt.h"
#include "app/context.h"
#include "app/frontend.h"
#include "child_measure.h"
#include "crypto/cert_import.h"
#include "crypto/providers.h"
#include "quiet_frontend.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace telva;

using telva::bench::inChild;
using telva::bench::Measure;
using telva::bench::median;

namespace {

bool shell(const QString& command) {
    return system(command.toLocal8Bit().constData()) == 0;
}

QByteArray loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("?");
}

QString q(const QString& path) {
    return QLatin1Char('\'') + path + QLatin1Char('\'');
}

} // namespace

int main(int argc, char** argv) {
    unsetenv("CRYPT_PARAMS");
    const bool large = argc > 1 && strcmp(argv[1], "--large") == 0;
    QTemporaryDir dir;
    const QString d = dir.path();
    qputenv("XDG_DATA_HOME", (d + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (d + "/config").toUtf8());

    // Two GOST R 34.10-2001 certificates and a GOST R 34.10-2012 one made by the openssl
    // command.
    const std::pair<const char*, const char*> kinds[] = {
        {"personal", "gost2001 -md_gost94"},
        {"fund", "gost2001 -md_gost94"},
        {"personal2012", "gost2012_256 -streebog256"},
    };
    for (const auto& [who, key] : kinds) {
        const QString base = d + "/" + who;
        if (!shell("openssl req -engine gost -x509 -newkey " + QString::fromLatin1(key) +
                   " -pkeyopt paramset:A -nodes -days 365 -subj '/CN=" + QString::fromLatin1(who) +
                   "/O=Bench' -keyout " + q(base + "-key.pem") + " -out " + q(base + ".pem") +
                   " 2>/dev/null")) {
            fprintf(stderr, "certificate generation failed\n");
            return 1;
        }
    }
    auto readAll = [](const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    };
    QuietFrontend frontend;
    const auto personal = crypto::ImportCertificate(0, readAll(d + "/personal.pem"),
                                                    readAll(d + "/personal-key.pem"), &frontend);
    const auto personal2012 = crypto::ImportCertificate(
        0, readAll(d + "/personal2012.pem"), readAll(d + "/personal2012-key.pem"), &frontend);
    const auto fund = crypto::ImportCertificate(7, readAll(d + "/fund.pem"), {}, &frontend);
    const crypto::ProviderList providers = crypto::FillProviderList(QString());
    if (!personal || !personal2012 || !fund || providers.entries.isEmpty()) {
        fprintf(stderr, "setup failed: %s%s\n", qPrintable(personal.text()),
                qPrintable(fund.text()));
        return 1;
    }
    AppContext ctx(frontend);
    ctx.settings.provName = providers.entries.first().name;
    ctx.settings.provType = providers.entries.first().type;
    ctx.settings.pub = {{}, {}, QStringLiteral("fund"), fund->serialHex().value(), 7};

    printf("load average before: %s\n", loadAverage().constData());
    printf("%14s | %10s %10s | %10s %10s | %10s %10s\n", "size", "ours s", "ours MB", "openssl s",
           "openssl MB", "time ratio", "peak ratio");
    struct Row {
        int mb;
        bool gost2012;
    };
    std::vector<Row> rows{{1, false}, {100, false}, {1024, false}};
    if (large)
        rows.push_back({5120, false});
    rows.push_back({100, true});
    bool goals = true;
    for (const auto& [mb, gost2012] : rows) {
        const QString signer = d + (gost2012 ? "/personal2012" : "/personal");
        ctx.settings.priv = {{},
                             {},
                             QFileInfo(signer).fileName(),
                             (gost2012 ? personal2012 : personal)->serialHex().value(),
                             0};
        const QString input = d + QStringLiteral("/report-%1.xml").arg(mb);
        {
            QFile f(input);
            f.open(QIODevice::WriteOnly);
            QByteArray line =
                "<ROW N=\"0000000\">Сведения о застрахованном лице 0123456789</ROW>\n";
            f.write("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<R7REPORT>\n");
            for (qint64 written = 0; written < qint64(mb) << 20; written += line.size()) {
                line.replace(8, 7, QByteArray::number(written % 9999999).rightJustified(7, '0'));
                f.write(line);
            }
            f.write("</R7REPORT>\n");
        }
        const QString ourOutput = d + QStringLiteral("/ours-%1.er7").arg(mb);
        const QString theirOutput = d + QStringLiteral("/openssl-%1.der").arg(mb);
        const QString pipeline = "openssl cms -sign -engine gost -binary -noattr -nodetach -md " +
                                 QString::fromLatin1(gost2012 ? "streebog256" : "md_gost94") +
                                 " -outform DER -in " + q(input) + " -signer " +
                                 q(signer + ".pem") + " -inkey " + q(signer + "-key.pem") +
                                 " 2>/dev/null | openssl cms -encrypt -engine gost -binary " +
                                 "-inform DER -outform DER -gost89 -out " + q(theirOutput) + " " +
                                 q(d + "/fund.pem") + " 2>/dev/null";
        std::vector<double> ourTimes, theirTimes;
        double ourPeak = 0, theirPeak = 0;
        bool ok = true;
        for (int round = 0; round < (mb < 1024 ? 3 : 1); ++round) {
            const Measure ours =
                inChild([&] { return crypto::SignAndEncrypt(ctx, input, ourOutput).ok(); });
            const Measure theirs = inChild([&] { return shell(pipeline); });
            ourTimes.push_back(ours.seconds);
            theirTimes.push_back(theirs.seconds);
            ourPeak = std::max(ourPeak, ours.peakMb);
            theirPeak = std::max(theirPeak, theirs.peakMb);
            ok = ok && ours.ok && theirs.ok;
            QFile::remove(theirOutput);
        }
        // openssl must open what we wrote: decrypt and verify it, comparing with the input.
        const QString opened = d + "/opened.xml";
        ok = ok &&
             shell("openssl cms -decrypt -engine gost -binary -inform DER -in " + q(ourOutput) +
                   " -recip " + q(d + "/fund.pem") + " -inkey " + q(d + "/fund-key.pem") +
                   " 2>/dev/null | openssl cms -verify -engine gost -binary -noverify "
                   "-inform DER -out " +
                   q(opened) + " 2>/dev/null && cmp -s " + q(opened) + " " + q(input));
        QFile::remove(opened);
        QFile::remove(ourOutput);
        QFile::remove(input);
        const double ratio = median(ourTimes) / median(theirTimes);
        printf("%6d MB %4s | %10.2f %10.1f | %10.2f %10.1f | %10.2f %10.2f%s\n", mb,
               gost2012 ? "2012" : "2001", median(ourTimes), ourPeak, median(theirTimes), theirPeak,
               ratio, ourPeak / theirPeak,
               ok ? "" : "  [a run failed or openssl could not open ours]");
        fflush(stdout);
        goals = goals && ok && ourPeak <= 48 && (gost2012 || mb != 100 || ratio <= 0.40);
    }
    printf("goals (time <= 0.40 of openssl at 100 MB 2001, peak <= 48 MB): %s; load average after: "
           "%s\n",
           goals ? "MET" : "MISSED", loadAverage().constData());
    return 0;
}
