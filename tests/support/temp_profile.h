#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace telva::test {

// A fresh home for one test: HOME and XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME point into a
// temporary folder for the test's lifetime, so settings, stores and archive start empty.
class TempProfile {
public:
    TempProfile();
    ~TempProfile();
    TempProfile(const TempProfile&) = delete;
    TempProfile& operator=(const TempProfile&) = delete;

    QString root() const { return dir_.path(); }
    QString home() const { return dir_.path() + QStringLiteral("/home"); }
    QString configHome() const { return home() + QStringLiteral("/.config"); }
    QString dataHome() const { return home() + QStringLiteral("/.local/share"); }
    QString stateHome() const { return home() + QStringLiteral("/.local/state"); }
    // Writes a file below the root and returns its path.
    QString writeFile(const QString& relativePath, const QByteArray& bytes) const;

private:
    QTemporaryDir dir_;
    QByteArray savedHome_, savedConfig_, savedData_, savedState_;
};

// Reads a whole file; empty when it cannot be read.
QByteArray readFileBytes(const QString& path);

} // namespace telva::test
