#pragma once

#include <QByteArray>

// The object identifiers the program writes and looks for, in one place: the DER content
// bytes of those compared inside messages, the dotted text of those compared after decoding.
namespace telva::crypto::oid {

// CMS content types, all under 1.2.840.113549.1.7.
inline const QByteArray kCmsTypeArc = QByteArray::fromHex("2a864886f70d0107");
inline const QByteArray kSignedData = QByteArray::fromHex("2a864886f70d010702");
inline const QByteArray kEnvelopedData = QByteArray::fromHex("2a864886f70d010703");

// GOST 28147-89, the content cipher.
inline const QByteArray kGost89 = QByteArray::fromHex("2a8503020215"); // 1.2.643.2.2.21
// GOST R 34.10-2001 keys: for signing and for key agreement (same key, other label).
inline constexpr const char* kGost2001Key = "1.2.643.2.2.19";
inline constexpr const char* kGost2001DhKey = "1.2.643.2.2.98";
inline const QByteArray kGost2001DhKeyDer = QByteArray::fromHex("2a8503020262");
inline constexpr char kGost2001KeyLastByte = 0x13;
// GOST R 34.10-2012 keys.
inline constexpr const char* kGost2012Key256 = "1.2.643.7.1.1.1.1";
inline constexpr const char* kGost2012Key512 = "1.2.643.7.1.1.1.2";
// Certificate signatures: GOST R 34.10-2001 with GOST R 34.11-94, GOST R 34.10-2012 with
// Streebog.
inline constexpr const char* kGost2001Signature = "1.2.643.2.2.3";
inline constexpr const char* kGost2012Signature256 = "1.2.643.7.1.1.3.2";
inline constexpr const char* kGost2012Signature512 = "1.2.643.7.1.1.3.3";

} // namespace telva::crypto::oid
