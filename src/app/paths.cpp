#include "app/paths.h"

#include "app/safe_file.h"

#include <QDir>

namespace telva {

namespace {

QString xdgFolder(const char* variable, const char* homeRelative) {
    const QString explicitPath = qEnvironmentVariable(variable);
    if (!explicitPath.isEmpty() && QDir::isAbsolutePath(explicitPath))
        return QDir::cleanPath(explicitPath);
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        return {};
    return QDir::cleanPath(home + QLatin1String(homeRelative));
}

} // namespace

QString configHome() {
    return xdgFolder("XDG_CONFIG_HOME", "/.config");
}

QString dataHome() {
    return xdgFolder("XDG_DATA_HOME", "/.local/share");
}

QString stateHome() {
    return xdgFolder("XDG_STATE_HOME", "/.local/state");
}

QString lastRequestFile() {
    const QString base = stateHome();
    return base.isEmpty() ? QString() : base + QStringLiteral("/KVB/TELVA/last-request");
}

QString InitArchiveBaseFolder(const QString& activeMode) {
    const QString base = dataHome();
    if (base.isEmpty())
        return {};
    const QString folder = base + QStringLiteral("/KVB/TELVA/") + activeMode;
    (void)makePrivateFolder(folder);
    return folder;
}

} // namespace telva
