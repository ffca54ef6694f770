#pragma once

#include "test_pki.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <httplib.h>
#include <memory>

namespace telva::test {

// The built simulator, started as a separate process on a free port with a state folder
// of its own (or a given one); stopped with SIGTERM when the object goes.
class SimProcess {
public:
    explicit SimProcess(const QStringList& args = {}, const QString& stateDir = {});
    ~SimProcess();

    bool started() const { return port_ > 0; }
    int port() const { return port_; }
    QString stateDir() const { return stateDir_; }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
    std::unique_ptr<httplib::Client> client() const;
    // What the simulator logged so far.
    QByteArray log();

private:
    QTemporaryDir ownState_;
    QString stateDir_;
    QProcess process_;
    QByteArray log_;
    int port_ = 0;
};

QString simBinary();

struct RunResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
// Runs a program to its end (no shell); a program that cannot start gives exit code -1.
RunResult run(const QString& program, const QStringList& args, const QByteArray& input = {});

// Files of the test's sender and the fund's certificates fetched from a simulator.
struct SimPeer {
    QTemporaryDir dir;
    QString senderCert;   // PEM
    QString senderKey;    // PKCS#8 PEM
    QString senderDigest; // the digest of the sender's key, as openssl names it
    QString fundRoot;     // PEM, from /uc/CA_KVB_RF_2012.cer
    QString fundAp;       // PEM, from /uc/R7_KVB_RF_2012.cer
    QString path(const QString& name) const { return dir.filePath(name); }
};
// Fetches the fund's certificates from the simulator; false when that fails. The sender is
// the personal certificate of the test PKI, or the one given.
bool preparePeer(const SimProcess& sim, SimPeer& peer, const TestPki::Item* sender = nullptr);

// An encrypted report as the workstation makes it, made here with `openssl cms`: signed by
// the sender (attached, the digest of its key, no attributes) and encrypted for the recipient
// certificate (GOST 28147-89). Empty when openssl fails.
QByteArray makeReport(const SimPeer& peer, const QByteArray& xml, const QString& recipientPem);
QByteArray sampleReportXml(const QByteArray& extra = {});

// Posts the form the workstation sends; the answer body, or empty on a transport failure.
httplib::Result upload(httplib::Client& client, const QByteArray& encrypted,
                       const char* path = "/uploadfile");
// The identifier read out of an answer page the way the workstation reads it; empty when
// the page matches neither the identifier nor the error pattern.
QByteArray identifierFromAnswer(const QByteArray& page);
QByteArray errorFromAnswer(const QByteArray& page);

// Decrypts a receipt with the sender's key and verifies it with the fund's certificate;
// the ZIP inside, or empty with the reason in why.
QByteArray openReceipt(const SimPeer& peer, const QByteArray& receipt, QByteArray* why = nullptr);

} // namespace telva::test
