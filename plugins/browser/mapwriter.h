#pragma once

#include "browser_global.h"

#include <pointbook/tag.h>

#include <QHash>
#include <QMetaType>
#include <QList>
#include <QSet>
#include <QString>

namespace Browser {

// One tag to be written into a register map.
struct BROWSER_EXPORT NewTag
{
    Pointbook::Tag::RegisterType table = Pointbook::Tag::HR;
    int address = 0;
    QString id;
    QString name;
    QString unit;
    QString description;
    Pointbook::Tag::DataType dataType = Pointbook::Tag::UInt16;
    Pointbook::Tag::ByteOrder byteOrder = Pointbook::Tag::Order10;
    QString access = QStringLiteral("R");
};

// Writes tags into a register map file ("base_v<version>.xml") that the
// program's own loader reads: a new file, or new sections appended to an
// existing map, which is otherwise kept byte for byte. Every tag carries its
// address as its offset, so the layout does not depend on the tags before
// it. The result is loaded and checked before it replaces anything; it is
// written to a temporary file and renamed into place, and the old file is
// kept as a backup. UI-free: the caller asks the questions, possibly from a
// worker thread.
class BROWSER_EXPORT MapWriter
{
public:
    enum Mode {
        Create,  // there must be no file yet
        Append,  // add to the existing map (created when there is none)
        Replace  // a new file; the old one only survives as the backup
    };

    // What is at the target before writing.
    struct Inspection
    {
        bool exists = false;
        bool loads = false;
        QString loadError;
        int tagCount = 0;
        QStringList clashes; // new ids already used in their table
    };

    static QString fileName(const QString &folder, const QString &version);
    // "<file>.<yyyyMMdd-HHmmss>.bak", made unique with a counter.
    static QString backupName(const QString &file);

    // Field checks: empty, doubled or unwritable texts, addresses, types.
    // Empty when the tags can be written.
    static QString check(const QList<NewTag> &tags);
    static Inspection inspect(const QString &folder, const QString &version,
                              const QList<NewTag> &tags);

    // The sections (<ir>, <hr>, <di>, <co>) holding the tags, indented for
    // a place inside <base>, lines ended by newline.
    static QString sectionsText(const QList<NewTag> &tags, const QString &newline = QStringLiteral("\n"));
    static QByteArray newFile(const QString &version, const QList<NewTag> &tags);

    // Writes; true on success with the backup's path (empty when nothing
    // was replaced).
    static bool write(const QString &folder, const QString &version, const QList<NewTag> &tags,
                      Mode mode, QString *backup, QString *error);

    // Installs bytes as the file: backup of the old file, temporary file,
    // rename. Shared with the import of files.
    static bool install(const QString &file, const QByteArray &bytes, QString *backup,
                        QString *error);
};

} // namespace Browser

Q_DECLARE_METATYPE(Browser::NewTag)
