#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace telva {

// The ZIP entry reader: reads one named entry of a PKWARE ZIP archive into
// memory. Stored (0) and deflated (8) entries are read; the entry is the first one whose
// file name, with any folder part inside the archive dropped, equals the wanted name with
// letters compared without regard to case.
//
// Outcomes:
// - no matching entry: empty bytes, nothing reported;
// - an entry with a compression method the reader does not know: the error
//   "Unknown Compression Method" with code kZipUnknownMethod, which the actions show as a
//   box and then read as empty bytes (ReadZipEntry);
// - an archive whose central directory cannot be read (cut off, damaged): the error
//   "Incomplete Zip File", which ends the calling action (the caller shows it in the
//   top-level error box);
// - sound additions of this port, each an error with a readable text: an entry whose CRC-32
//   does not match, an entry that would inflate past kZipMaxEntrySize or whose
//   compression ratio exceeds kZipMaxRatio (a ZIP bomb), an encrypted entry, an archive
//   split over several disks, and the legacy PKWARE methods 1 to 6.

// Largest entry the reader inflates (256 MB).
inline constexpr qint64 kZipMaxEntrySize = qint64(256) * 1024 * 1024;
// Largest uncompressed/compressed ratio accepted for entries above kZipRatioFloor bytes.
// Real receipts (HTML pages, signed XML) stay far below it.
inline constexpr qint64 kZipMaxRatio = 200;
inline constexpr qint64 kZipRatioFloor = qint64(1) * 1024 * 1024;

// The error code of an entry whose compression method the reader does not know.
inline constexpr quint32 kZipUnknownMethod = 0x5A4D0001;

// The reader's text for an archive whose directory is cut off or unreadable.
QString zipIncompleteText();

// On archive bytes in memory (the fuzzing entry point).
[[nodiscard]] Result<QByteArray> ExtractEntryFromBuffer(QByteArrayView archive,
                                                        const QString& entryName);

// On an archive file: opens it, reads its directory, extracts the one matching entry and
// closes it again. An archive that cannot be opened gives "Ошибка открытия \"%s\"."
[[nodiscard]] Result<QByteArray> ExtractEntry(const QString& archivePath, const QString& entryName);

} // namespace telva
