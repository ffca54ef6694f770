#pragma once

#include "app/result.h"

#include <QString>
#include <QtGlobal>
#include <functional>

namespace telva::crypto {

class EnvelopeWriter;
class SignedDataWriter;

// The files a streamed signing reads and writes, as its failures name them.
struct StreamFiles {
    QString input;
    QString output;
};

// Where the encrypted message goes; false when a write fails.
using StreamOutput = std::function<bool(const char* data, qint64 size)>;
// Told the share done (0..100) now and then, on the calling thread; false cancels.
using StreamProgress = std::function<bool(int percent)>;

// Signs and encrypts size bytes read from the descriptor in one pass: one thread reads,
// encrypts and writes each block while another hashes it, in order, through a few fixed
// buffers; the signer information, known once all is hashed, is encrypted last. The
// calling thread only reports progress meanwhile. A file that ends early or grows past
// size counts as changed. Fails with the text the person reads: the input unreadable or
// changed, the output not written, the cipher failed, or cancelled (ErrorKind::Cancelled).
Status SignAndEncryptStream(int fd, quint64 size, SignedDataWriter& signedData,
                            EnvelopeWriter& envelope, const StreamOutput& output,
                            const StreamProgress& progress, const StreamFiles& files);

} // namespace telva::crypto
