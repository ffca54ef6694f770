#include "app/texts.h"

namespace telva {

QString openErrorText(const QString& path) {
    return QStringLiteral("Ошибка открытия \"%1\".").arg(path);
}

QString readErrorText(const QString& path) {
    return QStringLiteral("Ошибка чтения \"%1\".").arg(path);
}

QString writeErrorText(const QString& path) {
    return QStringLiteral("Ошибка записи \"%1\".").arg(path);
}

QString writeIntoErrorText(const QString& path) {
    return QStringLiteral("Ошибка записи в \"%1\".").arg(path);
}

QString notRegularFileText(const QString& path) {
    return QStringLiteral("\"%1\" не является обычным файлом (это канал, папка или ссылка); "
                          "программа его не открывает. Удалите или переименуйте его.")
        .arg(path);
}

QString noPrivateKeyText() {
    return QStringLiteral("Нет закрытого ключа.");
}

QString keyPasswordMissingText() {
    return QStringLiteral("Пароль закрытого ключа не введен.");
}

QString keyMismatchText() {
    return QStringLiteral("Закрытый ключ не соответствует сертификату.");
}

QString certOpenFailedText() {
    return QStringLiteral("Не удалось открыть сертификат.");
}

QString storeOpenFailedText() {
    return QStringLiteral("Не удалось открыть хранилище.");
}

QString certAddFailedText() {
    return QStringLiteral("Не удалось добавить сертификат в хранилище.");
}

QString connectedText() {
    return QStringLiteral("Подключено.");
}

QString notConnectedText() {
    return QStringLiteral("Не подключено.");
}

QString cancelledText() {
    return QStringLiteral("Запрос отменен.");
}

QString errorEventText(const QString& message) {
    return QStringLiteral("Ошибка: ") + message;
}

QString noViewerText(const QString& target) {
    return QStringLiteral("Не удалось открыть \"%1\": не найден веб-браузер, которым рабочий "
                          "стол открывает файлы и адреса (xdg-open).")
        .arg(target);
}

} // namespace telva
