#pragma once

#include "sqlstore_global.h"

#include <QString>

namespace Core {
class SettingsDatabase;
}

namespace Sqlstore {
namespace Internal {

// Where the team server's password is kept: in the desktop's secret store
// when one runs, otherwise in a file only its owner may read, in a folder
// only its owner may enter. Never in the INI file or the settings database,
// which other programs and backups read.
class SQLSTORE_EXPORT ServerPasswordStore
{
public:
    // folder: where the owner-only file lives when no secret store runs.
    explicit ServerPasswordStore(const QString &folder);

    QString fileName() const;
    // A password still kept in clear in the settings database (by earlier
    // versions) moves to the store; it leaves the database only once the
    // store holds it.
    QString load(Core::SettingsDatabase *legacy);
    // An empty password removes what is kept.
    bool save(const QString &password, QString *error = nullptr);

    // A secret store can only run inside a desktop session.
    static bool secretStoreExpected();

private:
    bool readFile(QString *password) const;
    bool writeFile(const QString &password, QString *error) const;

    QString m_folder;
};

} // namespace Internal
} // namespace Sqlstore
