#include "crypto/chunk_ring.h"

namespace telva::crypto {

ChunkRing::ChunkRing(int slots, qsizetype slotSize)
    : slots_(slots), slotSize_(slotSize), storage_(slots * slotSize, Qt::Uninitialized),
      sizes_(size_t(slots), 0) {}

char* ChunkRing::acquire() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || published_ - released_ < slots_; });
    if (stopped_)
        return nullptr;
    return storage_.data() + (published_ % slots_) * slotSize_;
}

void ChunkRing::publish(qsizetype size) {
    {
        std::lock_guard lock(mutex_);
        sizes_[size_t(published_ % slots_)] = size;
        ++published_;
    }
    changed_.notify_all();
}

void ChunkRing::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

std::optional<QByteArrayView> ChunkRing::next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || closed_ || released_ < published_; });
    if (stopped_ || released_ == published_)
        return std::nullopt;
    const qint64 slot = released_ % slots_;
    return QByteArrayView(storage_.constData() + slot * slotSize_, sizes_[size_t(slot)]);
}

void ChunkRing::release() {
    {
        std::lock_guard lock(mutex_);
        ++released_;
    }
    changed_.notify_all();
}

void ChunkRing::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

bool ChunkRing::stopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

} // namespace telva::crypto
