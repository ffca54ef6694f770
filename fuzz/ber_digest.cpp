// The BER frame reader and the digest that follows a signed-data's content as it arrives.
#include "crypto/gost_engine.h"
#include "crypto/streaming_digest.h"

#include <algorithm>
#include <cstdint>
#include <thread>

using namespace telva::crypto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!ensureGostEngine())
        return 0;
    // Arriving in small pieces, so that the reader waits at every boundary there is.
    GrowingBuffer buffer{qsizetype(size)};
    StreamingContentDigest digest(buffer);
    std::thread reader([&] { digest.run(); });
    const qsizetype step = size > 0 ? 1 + data[0] % 64 : 1;
    for (qsizetype at = 0; at < qsizetype(size); at += step) {
        const qsizetype n = std::min(step, qsizetype(size) - at);
        std::copy(data + at, data + at + n, buffer.writePos());
        buffer.commit(n);
    }
    buffer.finish();
    reader.join();
    if (digest.complete()) {
        QByteArray joined;
        (void)digest.content(joined);
        (void)digest.detachedMessage();
        (void)digest.digestChain();
    }
    return 0;
}
