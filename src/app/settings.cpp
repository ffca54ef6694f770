#include "app/settings.h"

#include "app/file_lock.h"
#include "app/frontend.h"
#include "app/fund_address.h"
#include "app/paths.h"
#include "app/safe_file.h"
#include "app/settings_table.h"

#include <QDateTime>
#include <QFile>
#include <QSettings>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
                fail(kWrongType.arg(name));
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

    void fail(const QString& message) { frontend_.showError(message); }

private:
    bool readText(const QString& name, QString& text) {
        if (!store_.contains(name))
            return false;
        const QVariant value = store_.value(name);
        if (value.typeId() != QMetaType::QString) {
            fail(kWrongType.arg(name));
            return false;
        }
        text = value.toString();
        return true;
    }

    QSettings& store_;
    Settings& settings_;
    Frontend& frontend_;
};

// Parsed from a copy: QSettings keeps what it read of a path for the whole process and would
// not say again that the file is damaged.
bool isDamaged(const QString& path) {
    const Result<QByteArray> bytes = readRegularFile(path, kSmallFileLimit);
    QTemporaryFile copy;
    if (!bytes || !copy.open() || copy.write(*bytes) != bytes->size() || !copy.flush())
        return false;
    const QSettings probe(copy.fileName(), QSettings::IniFormat);
    // The file is read on first use; only then is its status known.
    (void)probe.allKeys();
    return probe.status() == QSettings::FormatError;
}

// A file that cannot be parsed would be rewritten with defaults at the next sync, losing
// what the person kept there; it is moved aside first, and the person told where.
void setAsideIfBroken(const QString& path, Frontend& frontend) {
    if (!isDamaged(path))
        return;
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

// Why the file at the path cannot be read, empty when it can or is not there. It is opened
// without blocking, so a FIFO in its place is named instead of waited on.
QString unreadableReason(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        if (errno == EACCES || errno == EPERM)
            return QStringLiteral("нет прав на чтение");
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    struct stat info {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    close(fd);
    return regular ? QString() : QStringLiteral("это не обычный файл");
}

// A damaged global file is refused rather than replaced by defaults: those name the fund's
// real hosts, and a run on them would send where the person never meant to.
Status checkFile(const QString& path, bool damagedFails) {
    QString reason = unreadableReason(path);
    if (reason.isEmpty() && damagedFails && isDamaged(path))
        reason = QStringLiteral("файл поврежден");
    return reason.isEmpty() ? Status() : Status::fail(settingsUnreadableText(path, reason));
}

// Held while the store is read or written, so that the two files change together.
FileLock lockStore() {
    const QString folder = configHome();
    if (folder.isEmpty() || !makePrivateFolder(folder + QStringLiteral("/KVB")))
        return {};
    return FileLock::acquire(folder + QStringLiteral("/KVB/TELVA.conf.flock"));
}

void finish(QSettings& store, Frontend& frontend, const QString& firstName) {
    store.sync();
    if (store.status() != QSettings::NoError)
        frontend.showError(kWriteFailed.arg(firstName));
}

// Forced values are written after the others, since their defaults are built from the
// hosts read from the same file.
void loadFile(SettingsFile file, const QString& path, Settings& s, Frontend& frontend) {
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
            read.fail(parsed.text());
    }
}

// Only what this run changed, or what the file lacks yet, is written; QSettings re-reads
// the file before it writes, so every other value stays as the file holds it now.
void saveFile(SettingsFile file, const QString& path, Settings& s, Frontend& frontend) {
    if (const Status readable = checkFile(path, true); !readable) {
        frontend.showError(readable.text());
        return;
    }
    QSettings store(path, QSettings::IniFormat);
    QString first;
    QList<std::pair<QString, QString>> written;
    for (const SettingEntry& e : settingsTable()) {
        if (e.file != file)
            continue;
        const QString name = QLatin1String(e.name);
        if (first.isEmpty())
            first = name;
        const QString value = e.get(s);
        const auto stored = s.asStored.constFind(name);
        if (!s.asStored.isEmpty() && stored != s.asStored.cend() && *stored == value &&
            store.contains(name))
            continue;
        store.setValue(name, value);
        written.append({name, value});
    }
    store.sync();
    if (store.status() != QSettings::NoError) {
        frontend.showError(kWriteFailed.arg(first));
        return;
    }
    for (const auto& [name, value] : written)
        s.asStored.insert(name, value);
}

// The per-mode file named by the ActiveMode the global file holds, as the load reads it.
QString storedModePath(const QString& globalPath) {
    const QSettings global(globalPath, QSettings::IniFormat);
    const QVariant mode = global.value(QStringLiteral("ActiveMode"));
    const bool valid = mode.typeId() == QMetaType::QString && validModeName(mode.toString());
    return modeSettingsPath(valid ? mode.toString() : Settings().activeMode);
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

Result<int> ParsePort(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        return Result<int>::fail(invalidIntegerText(text));
    if (value < 1 || value > 65535)
        return Result<int>::fail(
            QStringLiteral("Порт прокси-сервера должен быть числом от 1 до 65535, а не %1.")
                .arg(text));
    return value;
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

QString settingsUnreadableText(const QString& path, const QString& reason) {
    return QStringLiteral("Не удается прочитать файл настроек \"%1\" (%2). Программа не "
                          "запущена: исправьте или удалите этот файл.")
        .arg(path, reason);
}

Status CheckSettingsStore() {
    const QString global = globalSettingsPath();
    if (const Status readable = checkFile(global, true); !readable)
        return readable;
    return checkFile(storedModePath(global), false);
}

void LoadSettings(Settings& s, Frontend& frontend) {
    const FileLock lock = lockStore();
    const auto refuse = [&](const Status& why) {
        s.storeUnreadable = true;
        frontend.showError(why.text());
    };
    const QString global = globalSettingsPath();
    if (const Status readable = checkFile(global, true); !readable)
        refuse(readable);
    else
        loadFile(SettingsFile::Global, global, s, frontend);
    const QString mode = modeSettingsPath(s.activeMode);
    if (const Status readable = checkFile(mode, false); !readable) {
        refuse(readable);
    } else {
        setAsideIfBroken(mode, frontend);
        loadFile(SettingsFile::Mode, mode, s, frontend);
    }
    s.asStored.clear();
    for (const SettingEntry& e : settingsTable())
        s.asStored.insert(QLatin1String(e.name), e.get(s));
}

void SaveSettings(Settings& s, Frontend& frontend) {
    if (s.storeUnreadable)
        return;
    const FileLock lock = lockStore();
    saveFile(SettingsFile::Global, globalSettingsPath(), s, frontend);
    saveFile(SettingsFile::Mode, modeSettingsPath(s.activeMode), s, frontend);
}

} // namespace telva
