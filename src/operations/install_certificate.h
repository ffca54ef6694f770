#pragma once

#include "app/result.h"
#include "crypto/certificate.h"

#include <QString>

namespace telva {
struct AppContext;
class HttpClient;
} // namespace telva

namespace telva::crypto {

// Status texts of installing the fund's certificates.
inline constexpr const char* kCertDownloadFailedText = "Не удалось загрузить сертификат.";
inline constexpr const char* kCertsInstalledText = "Сертификаты успешно установлены.";
// Follows kCertsInstalledText: %1 subject, %2 and %3 validity (UTC), %4 SHA-256.
inline constexpr const char* kFundCertDetailsText =
    "Сертификат уполномоченного лица КВБ: %1; действителен с %2 по %3 (UTC); отпечаток SHA-256: "
    "%4.";
// A certificate that is not the fund's: %1 who it belongs to, %2 why.
inline constexpr const char* kFundCertRefusedText =
    "Сертификат уполномоченного лица КВБ \"%1\" не установлен: %2.";
inline constexpr const char* kRootDeclinedText = "Корневой сертификат КВБ не установлен.";
// Asked before a root certificate not yet in "Root" goes there: %1 subject, %2 SHA-256.
inline constexpr const char* kRootQuestionText =
    "Корневой сертификат КВБ получен по незащищенному соединению (HTTP).\n\n"
    "Кому выдан: %1\nОтпечаток SHA-256: %2\n\n"
    "Сверьте отпечаток с опубликованным на сайте КВБ. Установить сертификат в хранилище "
    "\"Root\"?";

// Downloads one DER certificate into the download buffer and puts it into the store of that
// index; a certificate already there counts as installed. A root certificate new to "Root"
// that came over plain http goes there only when the person, shown its subject and SHA-256
// fingerprint, says Yes; one that came over https from a server whose certificate passed the
// check goes there without the question.
// With fundRoot the certificate is the fund's: it goes in only when it chains to that root,
// is valid now and its key usage allows encrypting for it (kFundCertRefusedText otherwise,
// and nothing changes), and then becomes the fund certificate identity (store 7). Gives the
// certificate, in the store afterwards, or the failure with its own text.
Result<Certificate> InstallCertificate(AppContext& ctx, HttpClient& client, const QString& url,
                                       int storeIndex, const Certificate* fundRoot = nullptr);

// "Установить сертификат уполномоченного лица КВБ": the fund's root into "Root", then, only
// when that worked, the authorised person's certificate, checked against that root, into
// "AddressBook" as the fund certificate. The text to show: kCertsInstalledText followed by
// the fund certificate's subject, validity and fingerprint when both are installed, else the
// failure's. The caller shows it and refreshes the fund certificate label.
Result<QString> LoadFundCertificates(AppContext& ctx, HttpClient& client);

} // namespace telva::crypto
