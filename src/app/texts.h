#pragma once

#include <QString>

namespace telva {

// Messages that more than one part of the program shows, so that each is spelled once.

// Failures on a named file.
QString openErrorText(const QString& path);      // "Ошибка открытия "path"."
QString readErrorText(const QString& path);      // "Ошибка чтения "path"."
QString writeErrorText(const QString& path);     // "Ошибка записи "path"."
QString writeIntoErrorText(const QString& path); // "Ошибка записи в "path"."
// Something other than a regular file (a FIFO, a folder, a link) stands where the program
// keeps one of its files.
QString notRegularFileText(const QString& path);
// A file or address that no program of the desktop opened, and the one that is missing: a web
// browser, as xdg-open finds it.
QString noViewerText(const QString& target);

// Keys, certificates and stores.
QString noPrivateKeyText();
QString keyPasswordMissingText();
QString keyMismatchText();
QString certOpenFailedText();
QString storeOpenFailedText();
QString certAddFailedText();

// The outcome of the connection check.
QString connectedText();
QString notConnectedText();
// A request or a wait the person cancelled.
QString cancelledText(); // "Запрос отменен."

// An error message as the event log records it.
QString errorEventText(const QString& message);

} // namespace telva
