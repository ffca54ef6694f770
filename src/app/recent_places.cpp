#include "app/recent_places.h"

#include "app/paths.h"
#include "app/safe_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace telva {

QString recentPlacesFile() {
    const QString base = stateHome();
    return base.isEmpty() ? QString() : base + QStringLiteral("/KVB/TELVA/places.conf");
}

RecentPlaces RecentPlaces::load() {
    RecentPlaces places;
    const QString path = recentPlacesFile();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return places;
    const QSettings store(path, QSettings::IniFormat);
    places.reportFolder = store.value(QStringLiteral("ReportFolder")).toString();
    places.receiptFolder = store.value(QStringLiteral("ReceiptFolder")).toString();
    places.inputFile = store.value(QStringLiteral("InputFile")).toString();
    return places;
}

void RecentPlaces::save() const {
    const QString path = recentPlacesFile();
    if (path.isEmpty() || !makePrivateFolder(QFileInfo(path).absolutePath()))
        return;
    QSettings store(path, QSettings::IniFormat);
    store.setValue(QStringLiteral("ReportFolder"), reportFolder);
    store.setValue(QStringLiteral("ReceiptFolder"), receiptFolder);
    store.setValue(QStringLiteral("InputFile"), inputFile);
}

QString dialogStartFolder(const QString& currentFile, const QString& rememberedFolder) {
    if (!currentFile.isEmpty() && QFileInfo(currentFile).absoluteDir().exists())
        return currentFile;
    if (!rememberedFolder.isEmpty() && QFileInfo(rememberedFolder).isDir())
        return rememberedFolder;
    return {};
}

} // namespace telva
