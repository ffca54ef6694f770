#pragma once

#include <QStringList>

namespace telva {

struct CliSession;

// One function per command; args are what follows the command's name.
int cmdKind(CliSession& session, QStringList args);
int cmdSettings(CliSession& session, QStringList args);
int cmdCerts(CliSession& session, QStringList args);
int cmdProviders(CliSession& session, QStringList args);
int cmdSign(CliSession& session, QStringList args);
int cmdCheckReceipt(CliSession& session, QStringList args);

int cmdCheckConnection(CliSession& session, QStringList args);
int cmdInstallCerts(CliSession& session, QStringList args);
int cmdSend(CliSession& session, QStringList args);
int cmdReports(CliSession& session, QStringList args);

} // namespace telva
