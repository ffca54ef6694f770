#include "archive/send_journal.h"

#include "app/paths.h"
#include "app/safe_file.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telva {

namespace {

constexpr qint64 kJournalLimit = qint64(16) << 20;

QByteArray escaped(QByteArray field) {
    field.replace('\\', "\\\\");
    field.replace('\t', "\\t");
    field.replace('\n', "\\n");
    return field;
}

QByteArray unescaped(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char next = field[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    }
    return out;
}

QString text(const QByteArray& field) {
    return QString::fromUtf8(unescaped(field));
}

} // namespace

QString SendJournal::pathFor(const QString& activeMode) {
    const QString state = stateHome();
    if (state.isEmpty() || activeMode.isEmpty())
        return {};
    return state + QStringLiteral("/KVB/TELVA/") + activeMode + QStringLiteral("/send-journal.tsv");
}

SendJournal::SendJournal(QString path) : path_(std::move(path)) {}

SendJournal::~SendJournal() {
    if (fd_ >= 0)
        close(fd_);
}

Status SendJournal::lock() {
    if (depth_ > 0) {
        ++depth_;
        return {};
    }
    const auto failed = [this] {
        return Status::fail(QStringLiteral("Не удается открыть журнал отправки \"%1\" (%2).")
                                .arg(path_, QString::fromLocal8Bit(strerror(errno))));
    };
    if (path_.isEmpty() || !makePrivateFolder(path_.section(QLatin1Char('/'), 0, -2)))
        return failed();
    fd_ = ::open(QFile::encodeName(path_).constData(),
                 O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat info {};
    if (fd_ >= 0 && (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(fd_);
        fd_ = -1;
        errno = EINVAL;
    }
    if (fd_ < 0)
        return failed();
    int locked;
    while ((locked = flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        const Status status = failed();
        close(fd_);
        fd_ = -1;
        return status;
    }
    depth_ = 1;
    return {};
}

void SendJournal::unlock() {
    if (depth_ == 0 || --depth_ > 0)
        return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

QByteArray SendJournal::contents() {
    struct stat info {};
    if (fd_ < 0 || fstat(fd_, &info) != 0 || info.st_size > kJournalLimit)
        return {};
    QByteArray bytes(qsizetype(info.st_size), '\0');
    const ssize_t n = pread(fd_, bytes.data(), size_t(bytes.size()), 0);
    bytes.resize(qMax<ssize_t>(n, 0));
    return bytes;
}

Status SendJournal::append(const QList<QByteArray>& fields) {
    if (const Status locked = lock(); !locked)
        return locked;
    QByteArray line;
    // A line a killed program left unfinished is ended first, so it cannot swallow this one.
    struct stat info {};
    char last = '\n';
    if (fstat(fd_, &info) == 0 && info.st_size > 0 && pread(fd_, &last, 1, info.st_size - 1) != 1)
        last = '\n';
    if (last != '\n')
        line += '\n';
    for (qsizetype i = 0; i < fields.size(); ++i)
        line += (i ? "\t" : "") + escaped(fields[i]);
    line += '\n';
    const bool written =
        write(fd_, line.constData(), size_t(line.size())) == line.size() && fdatasync(fd_) == 0;
    const Status status =
        written ? Status()
                : Status::fail(QStringLiteral("Не удается записать журнал отправки \"%1\" (%2).")
                                   .arg(path_, QString::fromLocal8Bit(strerror(errno))));
    unlock();
    return status;
}

Result<SendIntent> SendJournal::begin(SendIntent intent) {
    intent.token = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    const Status written = append({"I", intent.token, QByteArray::number(intent.time),
                                   intent.outputHash, intent.inputHash, intent.outputFile.toUtf8(),
                                   intent.inputFile.toUtf8(), intent.organisation.toUtf8()});
    if (!written)
        return written.error();
    return intent;
}

Status SendJournal::noteAnswer(const QByteArray& token, const QString& answer) {
    return append({"A", token, answer.toUtf8()});
}

Status SendJournal::recorded(const QByteArray& token, const QString& id) {
    return append({"R", token, id.toUtf8()});
}

Status SendJournal::closed(const QByteArray& token) {
    if (const Status locked = lock(); !locked)
        return locked;
    Status status = append({"F", token});
    // Nothing open any more: the journal starts afresh.
    if (status && unconfirmed().empty() && unfiled().empty() &&
        (ftruncate(fd_, 0) != 0 || fdatasync(fd_) != 0))
        status = Status::fail(QString::fromLocal8Bit(strerror(errno)));
    unlock();
    return status;
}

std::vector<SendIntent> SendJournal::read(bool recordedOnes) {
    std::vector<SendIntent> found;
    if (!lock())
        return found;
    const QByteArray bytes = contents();
    unlock();
    std::vector<SendIntent> intents;
    QHash<QByteArray, size_t> byToken;
    QHash<QByteArray, bool> over;
    for (const QByteArray& line : bytes.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 2 || f[1].isEmpty())
            continue;
        if (f[0] == "I" && f.size() == 8) {
            byToken.insert(f[1], intents.size());
            intents.push_back({f[1], f[2].toLongLong(), f[3], f[4], text(f[5]), text(f[6]),
                               text(f[7]), QString(), QString()});
            continue;
        }
        const auto it = byToken.constFind(f[1]);
        if (it == byToken.constEnd())
            continue;
        SendIntent& intent = intents[*it];
        if (f[0] == "A" && f.size() == 3)
            intent.answer = text(f[2]);
        else if (f[0] == "R" && f.size() == 3)
            intent.id = text(f[2]);
        else if (f[0] == "F")
            over.insert(f[1], true);
    }
    for (const SendIntent& intent : intents)
        if (!over.contains(intent.token) && intent.id.isEmpty() != recordedOnes)
            found.push_back(intent);
    return found;
}

std::vector<SendIntent> SendJournal::unconfirmed() {
    return read(false);
}

std::vector<SendIntent> SendJournal::unfiled() {
    return read(true);
}

std::optional<SendIntent> SendJournal::unconfirmedOf(const QByteArray& outputHash,
                                                     const QByteArray& inputHash) {
    for (const SendIntent& intent : unconfirmed())
        for (const QByteArray& hash : {outputHash, inputHash})
            if (!hash.isEmpty() && (hash == intent.outputHash || hash == intent.inputHash))
                return intent;
    return std::nullopt;
}

} // namespace telva
