#pragma once

#include "app/result.h"

#include <QString>

namespace telva {
struct AppContext;
class HttpClient;
} // namespace telva

namespace telva::crypto {

// Status texts of installing the fund's certificates.
inline constexpr const char* kCertDownloadFailedText = "Не удалось загрузить сертификат.";
inline constexpr const char* kCertsInstalledText = "Сертификаты успешно установлены.";
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
// check goes there without the question. With
// takeAsFund the certificate becomes the fund certificate identity (store 7). Fails, with its own
// text, unless the certificate is in the store afterwards.
Status InstallCertificate(AppContext& ctx, HttpClient& client, const QString& url, int storeIndex,
                          bool takeAsFund);

// "Установить сертификат уполномоченного лица КВБ": the fund's root into "Root", then, only
// when that worked, the authorised person's certificate into "AddressBook" as the fund
// certificate. The text to show: kCertsInstalledText when both are installed, else the
// failure's. The caller shows it and refreshes the fund certificate label.
Result<QString> LoadFundCertificates(AppContext& ctx, HttpClient& client);

} // namespace telva::crypto
