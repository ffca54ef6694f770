#include "crypto/sign_encrypt.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/safe_file.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"
#include "crypto/cms_build.h"
#include "crypto/gost_engine.h"
#include "crypto/key_store.h"
#include "crypto/providers.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telva::crypto {

namespace {

constexpr qint64 kMinimumSize = 100;
// The input is held whole in memory while it is signed; at this size and above it is
// refused rather than signed in part.
constexpr qint64 kMaximumSize = qint64(4) << 30;
constexpr qsizetype kWriteChunk = 1 << 20;

QString quotedName(const QString& format, const QString& name) {
    return format.arg(name);
}

// The whole file in one buffer, read from a descriptor that nobody holds exclusively.
enum class ReadOutcome { Ok, OpenError, ReadError, NoMemory };

ReadOutcome readWhole(const QString& path, qint64 size, QByteArray& bytes) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ReadOutcome::OpenError;
    // Another program holding the file locked counts as not openable.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return ReadOutcome::OpenError;
    }
    try {
        bytes.resize(qsizetype(size));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return ReadOutcome::NoMemory;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    return done == bytes.size() ? ReadOutcome::Ok : ReadOutcome::ReadError;
}

// Whether to go on after a validity bound: true to go on, false when the person aborts.
bool passesBound(AppContext& ctx, const QDateTime& bound, bool isStart, const QString& firstLine) {
    if (!bound.isValid())
        return true;
    const QDateTime day(bound.date(), QTime(0, 0), Qt::LocalTime);
    const QDateTime now = ctx.clock.now();
    const bool warn = isStart ? now < day : now > day;
    if (!warn)
        return true;
    const QString text =
        firstLine + QStringLiteral("\r\nФайл не пройдет форматный контроль. Прервать операцию ?");
    return !ctx.frontend.askYesNo(text, QStringLiteral("Внимание"), Frontend::Icon::Information);
}

} // namespace

bool SignAndEncrypt(AppContext& ctx, const QString& inputFile, const QString& outputFile) {
    const Settings& s = ctx.settings;
    const QString openError = quotedName(QStringLiteral("Ошибка открытия \"%1\"."), inputFile);

    // The input: at least 100 bytes, less than 4 GiB.
    struct stat info {};
    if (inputFile.isEmpty() || ::stat(QFile::encodeName(inputFile).constData(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
        ctx.showStatus(openError);
        return false;
    }
    const qint64 size = qint64(info.st_size);
    if (size >= kMaximumSize) {
        ctx.showStatus(quotedName(
            QStringLiteral("Файл \"%1\" слишком велик: подписать можно файл меньше 4 ГБ."),
            inputFile));
        return false;
    }
    if (size < kMinimumSize) {
        ctx.showStatus(
            quotedName(QStringLiteral("Файл \"%1\" имеет недопустимо малый размер."), inputFile));
        return false;
    }
    QByteArray content;
    switch (readWhole(inputFile, size, content)) {
    case ReadOutcome::OpenError:
        ctx.showStatus(openError);
        return false;
    case ReadOutcome::ReadError:
        ctx.showStatus(quotedName(QStringLiteral("Ошибка чтения \"%1\"."), inputFile));
        return false;
    case ReadOutcome::NoMemory:
        ctx.showStatus(quotedName(
            QStringLiteral("Недостаточно памяти, чтобы подписать файл \"%1\"."), inputFile));
        return false;
    case ReadOutcome::Ok:
        break;
    }

    // One store, or two when the identities name different ones.
    CertCollection collection;
    Result<CertStore> privStore = CertStore::open(s.priv.store);
    if (!privStore) {
        ctx.showStatus(privStore.text());
        return false;
    }
    collection.add(*privStore);
    if (s.pub.store != s.priv.store) {
        Result<CertStore> pubStore = CertStore::open(s.pub.store);
        if (!pubStore) {
            ctx.showStatus(pubStore.text());
            return false;
        }
        collection.add(*pubStore);
    }
    const std::optional<ProviderContext> provider = AcquireProviderContext(s.provName, s.provType);
    if (!provider) {
        const Status engine = ensureGostEngine();
        ctx.showStatus(engine ? QStringLiteral("Не удалось выбрать провайдера.") : engine.text());
        return false;
    }
    const QList<Certificate> certs = collection.certificates();
    const std::optional<Certificate> personal =
        FindCertByIdentity(certs, s.priv.issuer, s.priv.sernum);
    const std::optional<Certificate> fund = FindCertByIdentity(certs, s.pub.issuer, s.pub.sernum);
    if (!personal || !fund) {
        ctx.showStatus(QStringLiteral("Не удалось открыть сертификат."));
        return false;
    }

    if (!passesBound(ctx, personal->notBefore(), true,
                     QStringLiteral("Личный сертификат не вступил в силу.")) ||
        !passesBound(ctx, personal->notAfter(), false,
                     QStringLiteral("Личный сертификат просрочен.")) ||
        !passesBound(ctx, fund->notBefore(), true,
                     QStringLiteral("Сертификат доверенного лица не вступил в силу.")) ||
        !passesBound(ctx, fund->notAfter(), false,
                     QStringLiteral("Сертификат доверенного лица просрочен.")))
        return false;

    ctx.frontend.showProgress(QStringLiteral("Подпись и шифрование ..."));
    ctx.frontend.processEvents();
    const QString cryptError = QStringLiteral("Ошибка при шифровании ");
    Result<PKeyPtr> key = LoadPrivateKey(*personal, &ctx.frontend);
    if (!key) {
        ctx.showStatus(cryptError, key.text());
        return false;
    }
    Result<SignedDataParts> signedData =
        SignAttached(content.constData(), content.size(), *personal, key->get());
    if (!signedData) {
        ctx.showStatus(cryptError, signedData.text());
        return false;
    }
    const quint64 plainSize = quint64(signedData->prefix.size()) + quint64(content.size()) +
                              quint64(signedData->suffix.size());
    Result<EnvelopeWriter> envelope = EnvelopeWriter::begin(*fund, plainSize);
    if (!envelope) {
        ctx.showStatus(cryptError, envelope.text());
        return false;
    }

    // Written beside the target and renamed over it once complete: a full disk or a failed
    // cipher leaves no partial output, and an earlier output stays as it was.
    ReplacingFile out(outputFile, 0666);
    if (outputFile.isEmpty() || !out.open()) {
        ctx.showStatus(quotedName(QStringLiteral("Ошибка создания \"%1\"."), outputFile));
        return false;
    }
    const QString writeError = quotedName(QStringLiteral("Ошибка записи в \"%1\"."), outputFile);
    QByteArray cipherText(qMin<qsizetype>(kWriteChunk, qsizetype(plainSize)), Qt::Uninitialized);
    auto put = [&](const char* data, qsizetype length) -> std::optional<QString> {
        for (qsizetype at = 0; at < length; at += cipherText.size()) {
            const qsizetype n = qMin(cipherText.size(), length - at);
            if (!envelope->encrypt(data + at, n, cipherText.data()))
                return cryptError;
            if (!out.write(cipherText.constData(), n))
                return writeError;
        }
        return std::nullopt;
    };
    std::optional<QString> failed;
    if (!out.write(envelope->header().constData(), envelope->header().size()))
        failed = writeError;
    if (!failed)
        failed = put(signedData->prefix.constData(), signedData->prefix.size());
    if (!failed)
        failed = put(content.constData(), content.size());
    if (!failed)
        failed = put(signedData->suffix.constData(), signedData->suffix.size());
    if (!failed && !envelope->finish())
        failed = cryptError;
    if (!failed && !out.commit())
        failed = writeError;
    if (failed) {
        if (*failed == cryptError)
            ctx.showStatus(cryptError, QStringLiteral("сбой шифрования"));
        else
            ctx.showStatus(*failed);
        return false;
    }
    ctx.showStatus(QStringLiteral("Файл зашифрован и подписан."));
    return true;
}

} // namespace telva::crypto
