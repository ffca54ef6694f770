#pragma once

#include "app/clock.h"
#include "app/settings.h"

#include <QByteArray>
#include <QDateTime>

namespace telva {

class Frontend;

// The state the main window (or the terminal program) owns for the whole run and hands
// to every operation of the core.
struct AppContext {
    AppContext(Frontend& runFrontend, Clock& runClock = Clock::system())
        : frontend(runFrontend), clock(runClock), lastRequestTime(runClock.now()) {}

    Frontend& frontend;
    Clock& clock;
    Settings settings;
    QString archiveBaseFolder;
    bool testMode = false;
    bool connected = false;
    QDateTime lastRequestTime;
    // Where the time of the last request is shared with other runs; none when empty.
    QString lastRequestFile;

    void showStatus(const QString& text);
    // The text with a failure's readable text in parentheses.
    void showStatus(const QString& text, const QString& errorText);
    // Shows a progress text and lets the window paint it before blocking work.
    void showProgress(const QString& text);
};

} // namespace telva
