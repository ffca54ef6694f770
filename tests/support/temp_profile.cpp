#include "temp_profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace telva::test {

TempProfile::TempProfile()
    : savedHome_(qgetenv("HOME")), savedConfig_(qgetenv("XDG_CONFIG_HOME")),
      savedData_(qgetenv("XDG_DATA_HOME")), savedState_(qgetenv("XDG_STATE_HOME")) {
    QDir().mkpath(configHome());
    QDir().mkpath(dataHome());
    qputenv("HOME", home().toUtf8());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
    qputenv("XDG_STATE_HOME", stateHome().toUtf8());
}

TempProfile::~TempProfile() {
    qputenv("HOME", savedHome_);
    qputenv("XDG_CONFIG_HOME", savedConfig_);
    qputenv("XDG_DATA_HOME", savedData_);
    qputenv("XDG_STATE_HOME", savedState_);
}

QString TempProfile::writeFile(const QString& relativePath, const QByteArray& bytes) const {
    const QString path = root() + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace telva::test
