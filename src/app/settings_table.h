#pragma once

#include "app/result.h"

#include <QString>
#include <span>

namespace telva {

struct FundHosts;
struct Settings;

// Which of the two files holds a value.
enum class SettingsFile { Global, Mode };

// How a value is stored as text and read back.
enum class SettingType {
    Text,
    ModeName, // text that names a file, so a path separator is refused
    Integer,  // text that is not a whole number keeps the default, silently
    Flag,     // integer; anything but 0 is on
    HostPort, // "host:port", parsed once the file is read
};

// One stored value: every place that loads, saves or lists settings walks this table.
struct SettingEntry {
    const char* name;
    SettingsFile file;
    SettingType type;
    // Written over whatever is stored at every start, so the fund's addresses cannot be
    // redirected by editing the file.
    bool forced;
    // Default as text; null when the default is built from the fund's hosts instead.
    const char* fixedDefault;
    QString (*hostDefault)(const FundHosts&);
    QString (*get)(const Settings&);
    Status (*set)(Settings&, const QString&);
};

// Every value in the order they are saved and listed.
std::span<const SettingEntry> settingsTable();

// "name=value" lines, one per value, for the terminal's settings listing.
QString settingsListing(const Settings& settings);

} // namespace telva
