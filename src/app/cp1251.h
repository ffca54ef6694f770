#pragma once

#include <QByteArray>
#include <QString>

namespace telva {

// Code page 1251: the encoding of the texts the archive shares with other installations
// (".inf", ".err", the accepted-report view) and of the gateway's 8-bit answers.

// Characters the code page lacks become "?".
QByteArray toCp1251(const QString& text);
// Byte 0x98, unassigned in the code page, becomes U+FFFD.
QString fromCp1251(const QByteArray& bytes);
// UTF-8 to code page 1251; text that is not well-formed UTF-8 gives an empty text.
QByteArray utf8ToCp1251(const QByteArray& utf8);

} // namespace telva
