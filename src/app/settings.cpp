#include "app/settings.h"

#include "app/frontend.h"
#include "app/paths.h"

#include <QDateTime>
#include <QFile>
#include <QSettings>

namespace telva {

namespace {

const QString kWrongType = QStringLiteral("Неверный тип данных для '%1'");
const QString kWriteFailed = QStringLiteral("Ошибка записи значения для '%1'");

QString httpAddress(const QString& host, const char* path) {
    return QStringLiteral("http://") + host + QLatin1String(path);
}

// Reads values of one half of the store; a value that is not one plain string is the
// wrong-type case and keeps its default.
class Reader {
public:
    Reader(QSettings& store, Settings& settings, Frontend& frontend)
        : store_(store), settings_(settings), frontend_(frontend) {}

    void text(const QString& name, QString& target) {
        if (!store_.contains(name))
            return;
        const QVariant value = store_.value(name);
        if (value.typeId() != QMetaType::QString) {
            fail(name, kWrongType.arg(name));
            return;
        }
        target = value.toString();
    }

    void integer(const QString& name, int& target) {
        QString raw;
        bool present = store_.contains(name);
        text(name, raw);
        if (!present || settings_.unread.contains(name))
            return;
        bool ok = false;
        const int value = raw.toInt(&ok);
        if (ok)
            target = value;
    }

    // The default is written over whatever is stored, then read back.
    void forced(const QString& name, QString& target, const QString& defaultValue) {
        store_.setValue(name, defaultValue);
        target = defaultValue;
        text(name, target);
    }

    void fail(const QString& name, const QString& message) {
        settings_.unread.insert(name);
        frontend_.showError(message);
    }

private:
    QSettings& store_;
    Settings& settings_;
    Frontend& frontend_;
};

class Writer {
public:
    Writer(QSettings& store, const Settings& settings) : store_(store), settings_(settings) {}
    void text(const QString& name, const QString& value) {
        if (!settings_.unread.contains(name))
            store_.setValue(name, value);
    }
    void integer(const QString& name, int value) { text(name, QString::number(value)); }

private:
    QSettings& store_;
    const Settings& settings_;
};

bool validModeName(const QString& mode) {
    return !mode.isEmpty() && !mode.contains(QLatin1Char('/')) && mode != QLatin1String(".") &&
           mode != QLatin1String("..") && !mode.contains(QChar(0));
}

// A file that cannot be parsed would be rewritten with defaults at the next sync, losing
// what the person kept there; it is moved aside first, and the person told where.
void setAsideIfBroken(const QString& path, Frontend& frontend) {
    {
        const QSettings probe(path, QSettings::IniFormat);
        // The file is read on first use; only then is its status known.
        (void)probe.allKeys();
        if (probe.status() != QSettings::FormatError)
            return;
    }
    const QString aside = path + QStringLiteral(".broken-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    if (QFile::rename(path, aside)) {
        frontend.showError(QStringLiteral("Файл настроек \"%1\" не удалось прочитать. Он "
                                          "сохранен как \"%2\"; взяты значения по умолчанию.")
                               .arg(path, aside));
    } else {
        frontend.showError(QStringLiteral("Файл настроек \"%1\" не удалось прочитать и не удалось "
                                          "переименовать; взяты значения по умолчанию.")
                               .arg(path));
    }
}

void finish(QSettings& store, Frontend& frontend, const QString& firstName) {
    store.sync();
    if (store.status() != QSettings::NoError)
        frontend.showError(kWriteFailed.arg(firstName));
}

} // namespace

Settings::Settings() {
    kvbRootCertUrl = defaultKvbRootCertUrl(hosts);
    apCertUrl = defaultApCertUrl(hosts);
    gateSendUrl = defaultGateSendUrl(hosts);
    gateInfoUrl = defaultGateInfoUrl(hosts);
    gateLoadUrl = defaultGateLoadUrl(hosts);
}

QString defaultKvbRootCertUrl(const FundHosts& hosts) {
    return httpAddress(hosts.kvbSite, "/uc/CA_KVB_RF_2012.cer");
}
QString defaultApCertUrl(const FundHosts& hosts) {
    return httpAddress(hosts.kvbSite, "/uc/R7_KVB_RF_2012.cer");
}
QString defaultGateSendUrl(const FundHosts& hosts) {
    return httpAddress(hosts.gate, "/service2.php");
}
QString defaultGateInfoUrl(const FundHosts& hosts) {
    return httpAddress(hosts.gate, "/service3.php");
}
QString defaultGateLoadUrl(const FundHosts& hosts) {
    return httpAddress(hosts.gate, "/get_ack.php");
}

QString globalSettingsPath() {
    return configHome() + QStringLiteral("/KVB/TELVA.conf");
}

QString modeSettingsPath(const QString& activeMode) {
    return configHome() + QStringLiteral("/KVB/TELVA/") + activeMode + QStringLiteral(".conf");
}

QString invalidIntegerText(const QString& text) {
    return QStringLiteral("'%1' - неверное целое значение").arg(text);
}

Status SplitHostPort(const QString& text, QString& host, int& port) {
    if (text.isEmpty())
        return {};
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        host = text;
        port = 80;
        return {};
    }
    const QString portText = text.mid(colon + 1);
    bool ok = false;
    const int value = portText.toInt(&ok);
    if (!ok)
        return Status::fail(invalidIntegerText(portText));
    host = text.left(colon);
    port = value;
    return {};
}

void LoadSettings(Settings& s, Frontend& frontend) {
    {
        setAsideIfBroken(globalSettingsPath(), frontend);
        QSettings store(globalSettingsPath(), QSettings::IniFormat);
        Reader read(store, s, frontend);
        read.text(QStringLiteral("ActiveMode"), s.activeMode);
        if (!validModeName(s.activeMode)) {
            read.fail(QStringLiteral("ActiveMode"), kWrongType.arg(QStringLiteral("ActiveMode")));
            s.activeMode = QStringLiteral("R7");
        }
        read.text(QStringLiteral("KVBSiteHost"), s.hosts.kvbSite);
        read.text(QStringLiteral("GateHost"), s.hosts.gate);
        read.text(QStringLiteral("DocGateHost"), s.hosts.docGate);
        read.text(QStringLiteral("TestGateHost"), s.hosts.testGate);
        read.text(QStringLiteral("StyleHost"), s.hosts.style);
        read.forced(QStringLiteral("KVBRootCertUrl"), s.kvbRootCertUrl,
                    defaultKvbRootCertUrl(s.hosts));
        read.text(QStringLiteral("ProvName"), s.provName);
        read.integer(QStringLiteral("ProvType"), s.provType);
        read.integer(QStringLiteral("Left"), s.left);
        read.integer(QStringLiteral("Top"), s.top);
        read.integer(QStringLiteral("Height"), s.height);
        read.integer(QStringLiteral("Width"), s.width);
        QString proxyText;
        read.text(QStringLiteral("proxy"), proxyText);
        read.text(QStringLiteral("proxy_user"), s.proxy.user);
        int autoRefresh = s.autoRefresh ? 1 : 0;
        read.integer(QStringLiteral("AutoRefresh"), autoRefresh);
        s.autoRefresh = autoRefresh != 0;
        finish(store, frontend, QStringLiteral("KVBRootCertUrl"));
        const Status split = SplitHostPort(proxyText, s.proxy.host, s.proxy.port);
        if (!split)
            read.fail(QStringLiteral("proxy"), split.text());
    }
    setAsideIfBroken(modeSettingsPath(s.activeMode), frontend);
    QSettings store(modeSettingsPath(s.activeMode), QSettings::IniFormat);
    Reader read(store, s, frontend);
    s.gateInfoUrl = defaultGateInfoUrl(s.hosts);
    s.gateLoadUrl = defaultGateLoadUrl(s.hosts);
    read.text(QStringLiteral("SrcExt"), s.srcExt);
    read.text(QStringLiteral("EncExt"), s.encExt);
    read.text(QStringLiteral("KvitExt"), s.kvitExt);
    read.forced(QStringLiteral("APCertURL"), s.apCertUrl, defaultApCertUrl(s.hosts));
    read.forced(QStringLiteral("GateSendURL"), s.gateSendUrl, defaultGateSendUrl(s.hosts));
    read.text(QStringLiteral("GateInfoURL"), s.gateInfoUrl);
    read.text(QStringLiteral("GateLoadURL"), s.gateLoadUrl);
    read.text(QStringLiteral("PrivSubject"), s.priv.subject);
    read.text(QStringLiteral("PrivOrg"), s.priv.org);
    read.text(QStringLiteral("PrivIssuer"), s.priv.issuer);
    read.text(QStringLiteral("PrivSernum"), s.priv.sernum);
    read.integer(QStringLiteral("PrivStore"), s.priv.store);
    read.text(QStringLiteral("PubSubject"), s.pub.subject);
    read.text(QStringLiteral("PubOrg"), s.pub.org);
    read.text(QStringLiteral("PubIssuer"), s.pub.issuer);
    read.text(QStringLiteral("PubSernum"), s.pub.sernum);
    read.integer(QStringLiteral("PubStore"), s.pub.store);
    finish(store, frontend, QStringLiteral("APCertURL"));
}

void SaveSettings(const Settings& s, Frontend& frontend) {
    {
        QSettings store(globalSettingsPath(), QSettings::IniFormat);
        Writer write(store, s);
        write.text(QStringLiteral("ActiveMode"), s.activeMode);
        write.text(QStringLiteral("KVBRootCertUrl"), s.kvbRootCertUrl);
        write.text(QStringLiteral("ProvName"), s.provName);
        write.integer(QStringLiteral("ProvType"), s.provType);
        write.integer(QStringLiteral("Left"), s.left);
        write.integer(QStringLiteral("Top"), s.top);
        write.integer(QStringLiteral("Height"), s.height);
        write.integer(QStringLiteral("Width"), s.width);
        write.text(QStringLiteral("proxy"),
                   s.proxy.host + QLatin1Char(':') + QString::number(s.proxy.port));
        write.text(QStringLiteral("proxy_user"), s.proxy.user);
        write.integer(QStringLiteral("AutoRefresh"), s.autoRefresh ? 1 : 0);
        write.text(QStringLiteral("KVBSiteHost"), s.hosts.kvbSite);
        write.text(QStringLiteral("GateHost"), s.hosts.gate);
        write.text(QStringLiteral("DocGateHost"), s.hosts.docGate);
        write.text(QStringLiteral("TestGateHost"), s.hosts.testGate);
        write.text(QStringLiteral("StyleHost"), s.hosts.style);
        finish(store, frontend, QStringLiteral("ActiveMode"));
    }
    QSettings store(modeSettingsPath(s.activeMode), QSettings::IniFormat);
    Writer write(store, s);
    write.text(QStringLiteral("SrcExt"), s.srcExt);
    write.text(QStringLiteral("EncExt"), s.encExt);
    write.text(QStringLiteral("KvitExt"), s.kvitExt);
    write.text(QStringLiteral("APCertURL"), s.apCertUrl);
    write.text(QStringLiteral("GateSendURL"), s.gateSendUrl);
    write.text(QStringLiteral("GateInfoURL"), s.gateInfoUrl);
    write.text(QStringLiteral("GateLoadURL"), s.gateLoadUrl);
    write.text(QStringLiteral("PrivSubject"), s.priv.subject);
    write.text(QStringLiteral("PrivOrg"), s.priv.org);
    write.text(QStringLiteral("PrivIssuer"), s.priv.issuer);
    write.text(QStringLiteral("PrivSernum"), s.priv.sernum);
    write.integer(QStringLiteral("PrivStore"), s.priv.store);
    write.text(QStringLiteral("PubSubject"), s.pub.subject);
    write.text(QStringLiteral("PubOrg"), s.pub.org);
    write.text(QStringLiteral("PubIssuer"), s.pub.issuer);
    write.text(QStringLiteral("PubSernum"), s.pub.sernum);
    write.integer(QStringLiteral("PubStore"), s.pub.store);
    finish(store, frontend, QStringLiteral("SrcExt"));
}

} // namespace telva
