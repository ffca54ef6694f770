#include "archive/report_export.h"

#include "archive/report_archive.h"
#include "archive/zip_writer.h"

#include <QDir>

namespace telva {

Status exportReports(const QString& archiveBaseFolder, const QStringList& reportIds,
                     const QString& zipPath) {
    ZipWriter zip(zipPath);
    if (Status opened = zip.open(); !opened)
        return opened;
    for (const QString& id : reportIds) {
        // Only a folder directly inside the archive; an identifier never leads elsewhere.
        if (!isPlainReportId(id))
            continue;
        const QDir folder(reportFolder(archiveBaseFolder, id));
        const QString prefix = reportFolderName(id) + QLatin1Char('/');
        for (const QFileInfo& file :
             folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name)) {
            if (Status added = zip.addFile(prefix + file.fileName(), file.filePath()); !added)
                return added;
        }
    }
    return zip.commit();
}

} // namespace telva
