#include "shippedfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Core {

QString ShippedFiles::demoFolder(const QString &part)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath()
                           + QStringLiteral("/../share/appcore/demo/") + part);
}

int ShippedFiles::install(const QString &sourceFolder, const QString &targetFolder,
                          QString *errorString)
{
    if (sourceFolder.isEmpty() || targetFolder.isEmpty())
        return 0;
    const QDir source(sourceFolder);
    if (!source.exists())
        return 0;
    const QFileInfoList files = source.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    if (files.isEmpty())
        return 0;

    const QDir target(targetFolder);
    if (target.exists()
        && !target.entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty())
        return 0;
    if (!QDir().mkpath(targetFolder)) {
        if (errorString)
            *errorString = QCoreApplication::translate("Core::ShippedFiles",
                                                       "Cannot create the folder %1.")
                               .arg(QDir::toNativeSeparators(targetFolder));
        return -1;
    }

    int copied = 0;
    for (const QFileInfo &file : files) {
        const QString destination = target.filePath(file.fileName());
        if (QFileInfo::exists(destination))
            continue;
        if (!QFile::copy(file.absoluteFilePath(), destination)) {
            if (errorString)
                *errorString = QCoreApplication::translate("Core::ShippedFiles",
                                                           "Cannot copy %1 to %2.")
                                   .arg(QDir::toNativeSeparators(file.absoluteFilePath()),
                                        QDir::toNativeSeparators(destination));
            return -1;
        }
        // Files of the install tree may be read-only; the user's copies must
        // stay editable.
        QFile::setPermissions(destination, QFile::permissions(destination)
                                               | QFile::ReadOwner | QFile::WriteOwner);
        ++copied;
    }
    return copied;
}

} // namespace Core
