#include "app/settings.h"

#include "app/frontend.h"
#include "app/fund_address.h"
#include "app/paths.h"
#include "app/settings_table.h"

#include <QDateTime>
#include <QFile>
#include <QSettings>

namespace telva {

namespace {

const QString kWrongType = QStringLiteral("Неверный тип данных для '%1'");
const QString kWriteFailed = QStringLiteral("Ошибка записи значения для '%1'");

QString httpAddress(const QString& host, const char* path) {
    return fundAddress(host, QLatin1String(path));
}

bool validModeName(const QString& mode) {
    return !mode.isEmpty() && !mode.contains(QLatin1Char('/')) && mode != QLatin1String(".") &&
           mode != QLatin1String("..") && !mode.contains(QChar(0));
}

// Reads the values of one file; a value that is not one plain string is the wrong-type
// case and keeps its default.
class Reader {
public:
    Reader(QSettings& store, Settings& settings, Frontend& frontend)
        : store_(store), settings_(settings), frontend_(frontend) {}

    // Host and port are split only once the whole file is read and synced.
    void entry(const SettingEntry& e, QList<std::pair<const SettingEntry*, QString>>& later) {
        const QString name = QLatin1String(e.name);
        QString text;
        if (!readText(name, text))
            return;
        switch (e.type) {
        case SettingType::ModeName:
            if (!validModeName(text)) {
                fail(name, kWrongType.arg(name));
                return;
            }
            break;
        case SettingType::HostPort:
            later.append({&e, text});
            return;
        case SettingType::Text:
        case SettingType::Integer:
        case SettingType::Flag:
            break;
        }
        // A number that does not parse keeps the default without a word.
        (void)e.set(settings_, text);
    }

    // The default is written over whatever is stored.
    void forced(const SettingEntry& e) {
        const QString value = e.hostDefault(settings_.hosts);
        store_.setValue(QLatin1String(e.name), value);
        (void)e.set(settings_, value);
    }

    void fail(const QString& name, const QString& message) {
        settings_.unread.insert(name);
        frontend_.showError(message);
    }

private:
    bool readText(const QString& name, QString& text) {
        if (!store_.contains(name))
            return false;
        const QVariant value = store_.value(name);
        if (value.typeId() != QMetaType::QString) {
            fail(name, kWrongType.arg(name));
            return false;
        }
        text = value.toString();
        return true;
    }

    QSettings& store_;
    Settings& settings_;
    Frontend& frontend_;
};

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

// Forced values are written after the others, since their defaults are built from the
// hosts read from the same file.
void loadFile(SettingsFile file, const QString& path, Settings& s, Frontend& frontend) {
    setAsideIfBroken(path, frontend);
    QSettings store(path, QSettings::IniFormat);
    Reader read(store, s, frontend);
    QList<const SettingEntry*> forced;
    QList<std::pair<const SettingEntry*, QString>> later;
    for (const SettingEntry& e : settingsTable()) {
        if (e.file != file)
            continue;
        if (e.forced) {
            forced.append(&e);
            continue;
        }
        if (e.hostDefault)
            (void)e.set(s, e.hostDefault(s.hosts));
        read.entry(e, later);
    }
    for (const SettingEntry* e : forced)
        read.forced(*e);
    // A failed sync is named after the first value written.
    finish(store, frontend, forced.isEmpty() ? QString() : QLatin1String(forced.first()->name));
    for (const auto& [e, text] : later) {
        const Status parsed = e->set(s, text);
        if (!parsed)
            read.fail(QLatin1String(e->name), parsed.text());
    }
}

// Values whose reading failed are left as they are in the file.
void saveFile(SettingsFile file, const QString& path, const Settings& s, Frontend& frontend) {
    QSettings store(path, QSettings::IniFormat);
    QString first;
    for (const SettingEntry& e : settingsTable()) {
        if (e.file != file)
            continue;
        const QString name = QLatin1String(e.name);
        if (first.isEmpty())
            first = name;
        if (!s.unread.contains(name))
            store.setValue(name, e.get(s));
    }
    finish(store, frontend, first);
}

} // namespace

// The addresses are built from the hosts, so those are set first.
Settings::Settings() {
    for (const SettingEntry& e : settingsTable()) {
        if (e.fixedDefault)
            (void)e.set(*this, QString::fromUtf8(e.fixedDefault));
    }
    for (const SettingEntry& e : settingsTable()) {
        if (e.hostDefault)
            (void)e.set(*this, e.hostDefault(hosts));
    }
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
    loadFile(SettingsFile::Global, globalSettingsPath(), s, frontend);
    loadFile(SettingsFile::Mode, modeSettingsPath(s.activeMode), s, frontend);
}

void SaveSettings(const Settings& s, Frontend& frontend) {
    saveFile(SettingsFile::Global, globalSettingsPath(), s, frontend);
    saveFile(SettingsFile::Mode, modeSettingsPath(s.activeMode), s, frontend);
}

} // namespace telva
