#pragma once

#include "app/result.h"

#include <QHash>
#include <QString>

namespace telva {

class Frontend;

// Proxy host, port and user as the HTTP client holds them; the password lives in memory only.
struct ProxySettings {
    QString host;
    int port = 0;
    QString user;
    QString password;

    bool operator==(const ProxySettings&) const = default;
};

// The identity by which a certificate is remembered and found again.
struct CertIdentity {
    QString subject;
    QString org;
    QString issuer;
    QString sernum;
    int store = 0;

    bool operator==(const CertIdentity&) const = default;
};

// The fund's hosts; each may carry a port ("host:port").
struct FundHosts {
    QString kvbSite;
    QString gate;
    QString docGate;
    QString testGate;
    QString style;

    bool operator==(const FundHosts&) const = default;
};

// Every stored value, held in memory from start to exit. Names, files and defaults are in
// the settings table (app/settings_table.h).
struct Settings {
    // Global values.
    QString activeMode;
    QString kvbRootCertUrl;
    QString provName;
    int provType = 0;
    int left = 0;
    int top = 0;
    int height = 0;
    int width = 0;
    ProxySettings proxy;
    FundHosts hosts;
    // Reports in processing are asked about again on their own while the window is open.
    bool autoRefresh = false;

    // Values of the work mode.
    QString srcExt;
    QString encExt;
    QString kvitExt;
    QString apCertUrl;
    QString gateSendUrl;
    QString gateInfoUrl;
    QString gateLoadUrl;
    CertIdentity priv;
    CertIdentity pub;

    // The text of every value as the last load or save left it. A save writes only the
    // values that differ from it (or that the file lacks), so what another program saved
    // meanwhile stays; a value whose reading failed keeps its default here and is written
    // only once it is changed. Before any load every value is written.
    QHash<QString, QString> asStored;
    // The store could not be read: nothing is written back over it.
    bool storeUnreadable = false;

    // Every value at its default.
    Settings();
    bool operator==(const Settings&) const = default;
};

// Default addresses built from the fund's hosts.
QString defaultKvbRootCertUrl(const FundHosts& hosts);
QString defaultApCertUrl(const FundHosts& hosts);
QString defaultGateSendUrl(const FundHosts& hosts);
QString defaultGateInfoUrl(const FundHosts& hosts);
QString defaultGateLoadUrl(const FundHosts& hosts);

// Where the two halves of the store live.
QString globalSettingsPath();
QString modeSettingsPath(const QString& activeMode);

// Whether both programs may start on the store: each of its files that exists must be a
// regular file that opens (without blocking on a FIFO) and, for the global file, parses.
// A failure names the file and the reason. A damaged per-mode file is set aside by the load.
[[nodiscard]] Status CheckSettingsStore();
// "Не удается прочитать файл настроек ..." with the path and the reason.
QString settingsUnreadableText(const QString& path, const QString& reason);

// Reads both halves in their fixed order. Each failed read is shown through the frontend's
// error box and the value keeps its default; a file that cannot be read at all is told of
// the same way and nothing is saved over it.
void LoadSettings(Settings& settings, Frontend& frontend);
// Writes, in the same order, the values this run changed or the files lack, under a lock
// beside the global file and over what the files hold now; failures go to the error box.
void SaveSettings(Settings& settings, Frontend& frontend);

// Splits "host:port". Empty text leaves host and port unchanged; no colon means port 80.
// A proxy port as entered: a number from 1 to 65535.
[[nodiscard]] Result<int> ParsePort(const QString& text);
[[nodiscard]] Status SplitHostPort(const QString& text, QString& host, int& port);
// The conversion error of a text that is not a whole number.
QString invalidIntegerText(const QString& text);

} // namespace telva
