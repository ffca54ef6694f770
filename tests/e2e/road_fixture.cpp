#include "road_fixture.h"

#include "app/settings.h"
#include "crypto/cert_store.h"
#include "test_pki.h"

#include <QSettings>

namespace telva::test {

void RoadTest::SetUp() {
    Clock::setSystem(&clock_);
    QStringList simArgs{QStringLiteral("--processing"), QStringLiteral("1")};
    if (tls_)
        simArgs << QStringLiteral("--tls");
    simArgs << simArgs_;
    sim_ = std::make_unique<SimProcess>(simArgs);
    ASSERT_TRUE(sim_->started()) << sim_->log().toStdString();
    ASSERT_TRUE(
        proxy_.start({QString::fromLatin1(kProxyUser), QString::fromLatin1(kProxyPassword)}))
        << proxy_.errorText().toStdString();
    {
        QSettings global(globalSettingsPath(), QSettings::IniFormat);
        for (const char* host :
             {"KVBSiteHost", "GateHost", "DocGateHost", "TestGateHost", "StyleHost"})
            global.setValue(QLatin1String(host), simHost());
        global.setValue(QStringLiteral("proxy"), proxy_.hostPort());
        global.setValue(QStringLiteral("proxy_user"), QString::fromLatin1(kProxyUser));
    }
    if (tls_) {
        const Result<crypto::Certificate> root = crypto::Certificate::fromDer(
            readFileBytes(sim_->stateDir() + QStringLiteral("/tls/ca-gost.cer")));
        ASSERT_TRUE(root) << root.text().toStdString();
        ASSERT_TRUE(crypto::CertStore::open(crypto::toIndex(crypto::Store::Root))->add(*root));
    }
    const TestPki::Item& personal = TestPki::instance().personal;
    const PkiFiles files = writePkiFiles(personal, profile_.root() + QStringLiteral("/pki"),
                                         QStringLiteral("personal"));
    personalCert_ = files.certPem;
    personalKey_ = files.keyPem;
    personalSerial_ = personal.identity(0).sernum;
    report_ = profile_.writeFile(
        QStringLiteral("reports/квартал 1.xml"),
        QByteArray("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<R7REPORT>"
                   "<ORG>\xce\xce\xce \xd0\xee\xec\xe0\xf8\xea\xe0</ORG><SUM>1234.56</SUM>"
                   "</R7REPORT>\n"));
}

QString RoadTest::simHost() const {
    return QLatin1String(tls_ ? "https://" : "http://") + sim_->hostPort();
}

void RoadTest::TearDown() {
    Clock::setSystem(nullptr);
    qunsetenv("TELVA_PROXY_PASSWORD");
}

} // namespace telva::test
