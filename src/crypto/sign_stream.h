#pragma once

#include <QtGlobal>
#include <functional>

namespace telva::crypto {

class EnvelopeWriter;
class SignedDataWriter;

// What ended a streamed signing early.
enum class StreamFailure { None, Read, Changed, Crypt, Write, Cancelled };

// Where the encrypted message goes; false when a write fails.
using StreamOutput = std::function<bool(const char* data, qint64 size)>;
// Told the share done (0..100) now and then, on the calling thread; false cancels.
using StreamProgress = std::function<bool(int percent)>;

// Signs and encrypts size bytes read from the descriptor in one pass: one thread reads,
// encrypts and writes each block while another hashes it, in order, through a few fixed
// buffers; the signer information, known once all is hashed, is encrypted last. The
// calling thread only reports progress meanwhile. A file that ends early or grows past
// size counts as changed.
StreamFailure SignAndEncryptStream(int fd, quint64 size, SignedDataWriter& signedData,
                                   EnvelopeWriter& envelope, const StreamOutput& output,
                                   const StreamProgress& progress);

} // namespace telva::crypto
