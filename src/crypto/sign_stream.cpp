#include "crypto/sign_stream.h"

#include "app/frontend.h"
#include "app/texts.h"
#include "crypto/chunk_ring.h"
#include "crypto/cms_build.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace telva::crypto {

namespace {

// What ended a streamed signing early.
enum class StreamFailure { None, Read, Changed, Crypt, Write, Cancelled };

// Enough buffers for the reader to stay ahead of the slower digest, few enough to keep
// memory small.
constexpr int kSlots = 4;
constexpr qsizetype kSlotSize = 1 << 20;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// The state both threads share; the first failure wins.
struct Shared {
    ChunkRing ring{kSlots, kSlotSize};
    std::atomic<int> failure{int(StreamFailure::None)};
    std::atomic<quint64> hashed{0};
    std::mutex mutex;
    std::condition_variable ended;
    int running = 2;

    void fail(StreamFailure why) {
        int none = int(StreamFailure::None);
        failure.compare_exchange_strong(none, int(why));
        ring.stop();
    }
    void done() {
        {
            std::lock_guard lock(mutex);
            --running;
        }
        ended.notify_all();
    }
};

// Reads exactly size bytes or fewer when the file ends; -1 on a read error.
qint64 readFully(int fd, char* into, qint64 size) {
    qint64 got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, into + got, size_t(size - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

class Encryptor {
public:
    Encryptor(EnvelopeWriter& envelope, const StreamOutput& output)
        : envelope_(envelope), output_(output), cipherText_(kSlotSize, Qt::Uninitialized) {}

    StreamFailure put(const char* data, qint64 size) {
        for (qint64 at = 0; at < size; at += cipherText_.size()) {
            const qsizetype n = qsizetype(qMin<qint64>(cipherText_.size(), size - at));
            if (!envelope_.encrypt(data + at, n, cipherText_.data()))
                return StreamFailure::Crypt;
            if (!output_(cipherText_.constData(), n))
                return StreamFailure::Write;
        }
        return StreamFailure::None;
    }

private:
    EnvelopeWriter& envelope_;
    const StreamOutput& output_;
    QByteArray cipherText_;
};

StreamFailure readAndEncrypt(int fd, quint64 size, Shared& shared, Encryptor& encryptor) {
    for (quint64 done = 0; done < size;) {
        char* slot = shared.ring.acquire();
        if (!slot)
            return StreamFailure::None; // the other side stopped and said why
        const qint64 want = qint64(qMin<quint64>(quint64(kSlotSize), size - done));
        const qint64 got = readFully(fd, slot, want);
        if (got < 0)
            return StreamFailure::Read;
        if (got < want)
            return StreamFailure::Changed;
        shared.ring.publish(qsizetype(got));
        if (const StreamFailure f = encryptor.put(slot, got); f != StreamFailure::None)
            return f;
        done += quint64(got);
    }
    char more = 0;
    struct stat info {};
    if (readFully(fd, &more, 1) != 0 || ::fstat(fd, &info) != 0 || quint64(info.st_size) != size)
        return StreamFailure::Changed;
    shared.ring.close();
    return StreamFailure::None;
}

void hash(Shared& shared, SignedDataWriter& signedData) {
    while (const std::optional<QByteArrayView> block = shared.ring.next()) {
        if (!signedData.update(block->data(), block->size())) {
            shared.fail(StreamFailure::Crypt);
            return;
        }
        shared.hashed += quint64(block->size());
        shared.ring.release();
    }
}

StreamFailure streamAll(int fd, quint64 size, SignedDataWriter& signedData,
                        EnvelopeWriter& envelope, const StreamOutput& output,
                        const StreamProgress& progress) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Encryptor encryptor(envelope, output);
    if (!output(envelope.header().constData(), envelope.header().size()))
        return StreamFailure::Write;
    if (const StreamFailure f =
            encryptor.put(signedData.prefix().constData(), signedData.prefix().size());
        f != StreamFailure::None)
        return f;

    Shared shared;
    std::thread reader([&] {
        if (const StreamFailure f = readAndEncrypt(fd, size, shared, encryptor);
            f != StreamFailure::None)
            shared.fail(f);
        shared.done();
    });
    std::thread hasher([&] {
        hash(shared, signedData);
        shared.done();
    });
    for (bool ended = false; !ended;) {
        const int percent = size ? int(shared.hashed * 100 / size) : 100;
        if (!progress(percent))
            shared.fail(StreamFailure::Cancelled);
        std::unique_lock lock(shared.mutex);
        ended = shared.ended.wait_for(lock, kProgressInterval, [&] { return shared.running == 0; });
    }
    reader.join();
    hasher.join();
    if (const auto f = StreamFailure(shared.failure.load()); f != StreamFailure::None)
        return f;

    const Result<QByteArray> suffix = signedData.finish();
    if (!suffix)
        return StreamFailure::Crypt;
    if (const StreamFailure f = encryptor.put(suffix->constData(), suffix->size());
        f != StreamFailure::None)
        return f;
    return envelope.finish() ? StreamFailure::None : StreamFailure::Crypt;
}

} // namespace

Status SignAndEncryptStream(int fd, quint64 size, SignedDataWriter& signedData,
                            EnvelopeWriter& envelope, const StreamOutput& output,
                            const StreamProgress& progress, const StreamFiles& files) {
    switch (streamAll(fd, size, signedData, envelope, output, progress)) {
    case StreamFailure::None:
        break;
    case StreamFailure::Write:
        return Status::fail(writeIntoErrorText(files.output));
    case StreamFailure::Read:
        return Status::fail(readErrorText(files.input));
    case StreamFailure::Changed:
        return Status::fail(
            QStringLiteral("Файл \"%1\" изменился во время подписи. Подпишите его еще раз.")
                .arg(files.input));
    case StreamFailure::Crypt:
        return Status::fail(statusText(QStringLiteral("Ошибка при шифровании "),
                                       QStringLiteral("сбой шифрования")));
    case StreamFailure::Cancelled:
        return Status::fail(QStringLiteral("Подпись отменена."), ErrorKind::Cancelled);
    }
    return {};
}

} // namespace telva::crypto
