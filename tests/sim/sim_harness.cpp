#include "sim_harness.h"

#include "test_pki.h"

#include "crypto/key_digest.h"

#include <QFile>
#include <QRegularExpression>

namespace telva::test {

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The certificate at path fetched from the simulator, written as PEM.
bool fetchPem(httplib::Client& client, const char* path, const QString& file) {
    auto res = client.Get(path);
    if (!res || res->status != 200)
        return false;
    const QString der = file + QStringLiteral(".der");
    return writeBytes(der, QByteArray::fromStdString(res->body)) &&
           run(QStringLiteral("openssl"), {"x509", "-inform", "DER", "-in", der, "-out", file})
                   .exitCode == 0;
}

} // namespace

QString simBinary() {
    return QStringLiteral(TELVA_BINARY_DIR "/tools/gateway-sim/telva-gateway-sim");
}

SimProcess::SimProcess(const QStringList& args, const QString& stateDir)
    : stateDir_(stateDir.isEmpty() ? ownState_.path() : stateDir) {
    process_.start(simBinary(), QStringList(args) << "--port"
                                                  << "0"
                                                  << "--state" << stateDir_);
    if (!process_.waitForStarted(10000))
        return;
    QByteArray out;
    while (!out.contains('\n') && process_.waitForReadyRead(20000))
        out += process_.readAllStandardOutput();
    static const QRegularExpression listening(QStringLiteral("listening on 127.0.0.1:(\\d+)"));
    const QRegularExpressionMatch m = listening.match(QString::fromUtf8(out));
    if (m.hasMatch())
        port_ = m.captured(1).toInt();
}

SimProcess::~SimProcess() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

std::unique_ptr<httplib::Client> SimProcess::client() const {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", port_);
    c->set_read_timeout(30, 0);
    return c;
}

QByteArray SimProcess::log() {
    process_.waitForReadyRead(100);
    log_ += process_.readAllStandardError();
    return log_;
}

RunResult run(const QString& program, const QStringList& args, const QByteArray& input) {
    QProcess p;
    // An empty CRYPT_PARAMS in the environment would break openssl's GOST encryption.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("CRYPT_PARAMS"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    RunResult r;
    if (!p.waitForStarted(10000))
        return r;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

bool preparePeer(const SimProcess& sim, SimPeer& peer, const TestPki::Item* sender) {
    const TestPki::Item& item = sender ? *sender : TestPki::instance().personal;
    const PkiFiles files = writePkiFiles(item, peer.dir.path(), "sender");
    peer.senderCert = files.certPem;
    peer.senderKey = files.keyPem;
    const EVP_MD* md = crypto::DigestForKey(item.pkey());
    peer.senderDigest = md ? QString::fromLatin1(OBJ_nid2sn(EVP_MD_get_type(md))) : QString();
    peer.fundRoot = peer.path("fund-root.pem");
    peer.fundAp = peer.path("fund-ap.pem");
    auto client = sim.client();
    return fetchPem(*client, "/uc/CA_KVB_RF_2012.cer", peer.fundRoot) &&
           fetchPem(*client, "/uc/R7_KVB_RF_2012.cer", peer.fundAp);
}

QByteArray sampleReportXml(const QByteArray& extra) {
    return "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<R7REPORT version=\"2\">"
           "<TITLE>\xCE\xD2\xD7\xC5\xD2</TITLE>" +
           extra + "</R7REPORT>\n";
}

QByteArray makeReport(const SimPeer& peer, const QByteArray& xml, const QString& recipientPem) {
    const QString in = peer.path("report.xml");
    const QString signedFile = peer.path("report.sig");
    const QString out = peer.path("report.er7");
    if (!writeBytes(in, xml))
        return {};
    const RunResult sign =
        run("openssl", {"cms", "-sign", "-engine", "gost", "-binary", "-noattr", "-md",
                        peer.senderDigest, "-nodetach", "-signer", peer.senderCert, "-inkey",
                        peer.senderKey, "-in", in, "-outform", "DER", "-out", signedFile});
    if (sign.exitCode != 0)
        return {};
    const RunResult encrypt =
        run("openssl", {"cms", "-encrypt", "-engine", "gost", "-gost89", "-binary", "-in",
                        signedFile, "-outform", "DER", "-out", out, recipientPem});
    return encrypt.exitCode == 0 ? readBytes(out) : QByteArray();
}

httplib::Result upload(httplib::Client& client, const QByteArray& encrypted, const char* path) {
    httplib::MultipartFormDataItems form = {
        {"filein", encrypted.toStdString(), "C:\\Reports\\rep.er7", "multipart/form-data"},
        {"service", "2", "", ""},
        {"inline", "1", "", ""},
    };
    return client.Post(path, form);
}

QByteArray identifierFromAnswer(const QByteArray& page) {
    static const QRegularExpression pattern(
        QStringLiteral("<span id=\"identifier\"[^><]*>([^><]+)</span>"));
    if (!pattern.match(QString::fromLatin1(page)).hasMatch())
        return {};
    QByteArray rest = page.mid(page.indexOf("<span id=\"identifier\"") + 21);
    if (const int tahoma = rest.indexOf("Tahoma\">"); tahoma >= 0)
        rest = rest.mid(tahoma + 8);
    const int end = rest.indexOf("</span>");
    return end < 0 ? QByteArray() : rest.left(end);
}

QByteArray errorFromAnswer(const QByteArray& page) {
    static const QRegularExpression pattern(
        QStringLiteral("<span id=\"error\"[^><]*>([^><]+)</span>"));
    if (!pattern.match(QString::fromLatin1(page)).hasMatch())
        return {};
    const QByteArray rest = page.mid(page.indexOf("<span id=\"error\"") + 16);
    const int end = rest.indexOf("</span>");
    return end < 1 ? QByteArray() : rest.mid(1, end - 1);
}

QByteArray openReceipt(const SimPeer& peer, const QByteArray& receipt, QByteArray* why) {
    const QString in = peer.path("receipt.p7e");
    const QString inner = peer.path("receipt.signed");
    const QString zip = peer.path("receipt.zip");
    QFile::remove(inner);
    QFile::remove(zip);
    writeBytes(in, receipt);
    RunResult r = run("openssl", {"cms", "-decrypt", "-engine", "gost", "-debug_decrypt", "-binary",
                                  "-inform", "DER", "-in", in, "-recip", peer.senderCert, "-inkey",
                                  peer.senderKey, "-out", inner});
    if (r.exitCode == 0)
        r = run("openssl",
                {"cms", "-verify", "-engine", "gost", "-noverify", "-nointern", "-binary",
                 "-inform", "DER", "-in", inner, "-certfile", peer.fundAp, "-out", zip});
    if (r.exitCode != 0) {
        if (why)
            *why = r.err;
        return {};
    }
    return readBytes(zip);
}

} // namespace telva::test
