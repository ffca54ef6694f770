#pragma once

#include <QString>

namespace telva {

// Where the person last was: the folders of the last report and receipt chosen and the last
// input file. Kept apart from the settings, in the state home, because they are history
// rather than choices; a lost or unreadable file only means starting from the home folder.
struct RecentPlaces {
    QString reportFolder;
    QString receiptFolder;
    QString inputFile;

    static RecentPlaces load();
    void save() const;
};

// State home + "/KVB/TELVA/places.conf"; empty when there is no state home.
QString recentPlacesFile();

// The folder a file dialog opens in: the current file's, else the remembered one when it
// still exists, else none (the dialog's own choice).
QString dialogStartFolder(const QString& currentFile, const QString& rememberedFolder);

} // namespace telva
