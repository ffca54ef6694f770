#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace telva::crypto {

// A fixed number of equal buffers passed in order from one thread that fills them to one
// that reads them; the filler waits while all are taken, so memory stays what was given
// however much passes through.
class ChunkRing {
public:
    ChunkRing(int slots, qsizetype slotSize);

    qsizetype slotSize() const { return slotSize_; }

    // The filler's side: the next free buffer (nullptr once stopped), then how much of it
    // was filled. close() says nothing more will come.
    char* acquire();
    void publish(qsizetype size);
    void close();

    // The reader's side: the next filled buffer (nothing once closed and read, or stopped),
    // and release() when done with it.
    std::optional<QByteArrayView> next();
    void release();

    // Ends the passing on either side, waking whoever waits.
    void stop();
    bool stopped() const;

private:
    const int slots_;
    const qsizetype slotSize_;
    QByteArray storage_;
    std::vector<qsizetype> sizes_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    qint64 published_ = 0;
    qint64 released_ = 0;
    bool closed_ = false;
    bool stopped_ = false;
};

} // namespace telva::crypto
