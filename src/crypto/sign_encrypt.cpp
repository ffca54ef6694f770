#include "crypto/sign_encrypt.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/safe_file.h"
#include "app/texts.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"
#include "crypto/cms_build.h"
#include "crypto/gost_engine.h"
#include "crypto/key_store.h"
#include "crypto/providers.h"
#include "crypto/sign_stream.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telva::crypto {

namespace {

constexpr qint64 kMinimumSize = 100;

QString quotedName(const QString& format, const QString& name) {
    return format.arg(name);
}

// A descriptor of the input that nobody holds exclusively, or -1.
int openShared(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // Another program holding the file locked counts as not openable.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct FdGuard {
    int fd;
    ~FdGuard() { ::close(fd); }
};

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

QString outputIsInputText(const QString& outputFile) {
    return QStringLiteral("Выходной файл \"%1\" - это сам исходный отчет (то же имя, ссылка на "
                          "него или второе имя того же файла): зашифрованный файл заменил бы "
                          "отчет. Выберите другое имя выходного файла.")
        .arg(outputFile);
}

Result<QString> SignAndEncrypt(AppContext& ctx, const QString& inputFile,
                               const QString& outputFile) {
    const auto fail = [](const QString& text) { return Result<QString>::fail(text); };
    const Settings& s = ctx.settings;
    const QString openError = openErrorText(inputFile);

    // The input: at least 100 bytes, of any larger size.
    struct stat info {};
    if (inputFile.isEmpty() || ::stat(QFile::encodeName(inputFile).constData(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
        return fail(openError);
    }
    // The output replaces whatever file it names: never the report itself.
    if (isSameFile(inputFile, outputFile))
        return fail(outputIsInputText(outputFile));
    const qint64 size = qint64(info.st_size);
    if (size < kMinimumSize) {
        return fail(
            quotedName(QStringLiteral("Файл \"%1\" имеет недопустимо малый размер."), inputFile));
    }
    const FdGuard input{openShared(inputFile)};
    if (input.fd < 0) {
        return fail(openError);
    }

    // One store, or two when the identities name different ones.
    CertCollection collection;
    Result<CertStore> privStore = CertStore::open(s.priv.store);
    if (!privStore) {
        return fail(privStore.text());
    }
    collection.add(*privStore);
    if (s.pub.store != s.priv.store) {
        Result<CertStore> pubStore = CertStore::open(s.pub.store);
        if (!pubStore) {
            return fail(pubStore.text());
        }
        collection.add(*pubStore);
    }
    const std::optional<ProviderContext> provider = AcquireProviderContext(s.provName, s.provType);
    if (!provider) {
        const Status engine = ensureGostEngine();
        return fail(engine ? QStringLiteral("Не удалось выбрать провайдера.") : engine.text());
    }
    const QList<Certificate> certs = collection.certificates();
    const std::optional<Certificate> personal =
        FindCertByIdentity(certs, s.priv.issuer, s.priv.sernum);
    const std::optional<Certificate> fund = FindCertByIdentity(certs, s.pub.issuer, s.pub.sernum);
    if (!personal || !fund) {
        return fail(certOpenFailedText());
    }

    if (!passesBound(ctx, personal->notBefore(), true,
                     QStringLiteral("Личный сертификат не вступил в силу.")) ||
        !passesBound(ctx, personal->notAfter(), false,
                     QStringLiteral("Личный сертификат просрочен.")) ||
        !passesBound(ctx, fund->notBefore(), true,
                     QStringLiteral("Сертификат доверенного лица не вступил в силу.")) ||
        !passesBound(ctx, fund->notAfter(), false,
                     QStringLiteral("Сертификат доверенного лица просрочен.")))
        return fail(QString());

    ctx.frontend.showProgress(QStringLiteral("Подпись и шифрование ..."));
    ctx.frontend.processEvents();
    const QString cryptError = QStringLiteral("Ошибка при шифровании ");
    Result<PKeyPtr> key = LoadPrivateKey(*personal, &ctx.frontend);
    if (!key) {
        return fail(statusText(cryptError, key.text()));
    }
    Result<SignedDataWriter> signedData = SignedDataWriter::begin(*personal, key->get(), size);
    if (!signedData) {
        return fail(statusText(cryptError, signedData.text()));
    }
    const quint64 plainSize =
        quint64(signedData->prefix().size()) + quint64(size) + quint64(signedData->suffixSize());
    Result<EnvelopeWriter> envelope = EnvelopeWriter::begin(*fund, plainSize);
    if (!envelope) {
        return fail(statusText(cryptError, envelope.text()));
    }

    // Written beside the target and renamed over it once complete: a full disk, a failed
    // cipher or a cancel leaves no partial output, and an earlier output stays as it was.
    ReplacingFile out(outputFile, 0666);
    if (outputFile.isEmpty() || !out.open()) {
        return fail(quotedName(QStringLiteral("Ошибка создания \"%1\"."), outputFile));
    }
    const QString progressText = QStringLiteral("Подпись и шифрование ... %1%");
    ctx.frontend.setCancellable(true);
    const Status streamed = SignAndEncryptStream(
        input.fd, quint64(size), *signedData, *envelope,
        [&](const char* data, qint64 n) { return out.write(data, n).ok(); },
        [&, shown = -1](int percent) mutable {
            // A line per step of the share, not per report: the terminal prints each one.
            if (percent != shown) {
                ctx.frontend.showProgress(progressText.arg(percent));
                ctx.frontend.showPercent(percent);
                shown = percent;
            }
            ctx.frontend.processEvents();
            return !ctx.frontend.cancelRequested();
        },
        {inputFile, outputFile});
    ctx.frontend.setCancellable(false);
    ctx.frontend.showPercent(-1);
    if (!streamed)
        return streamed.error();
    if (!out.commit())
        return fail(writeIntoErrorText(outputFile));
    return QStringLiteral("Файл зашифрован и подписан.");
}

} // namespace telva::crypto
