#include "serverpasswordstore.h"

#include <core/settingsdatabase.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtDebug>

#ifdef KORVANE_HAVE_KEYCHAIN
#include <QEventLoop>
#include <qt5keychain/keychain.h>
#endif

namespace Sqlstore {
namespace Internal {

namespace {

const char LegacyKey[] = "Sqlstore/ServerPassword";
const char FileName[] = "serverpassword";

constexpr QFile::Permissions OwnerFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions OwnerFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

#ifdef KORVANE_HAVE_KEYCHAIN
const char Service[] = "Korvane_Config";
const char Key[] = "TeamServerPassword";

// Runs the job to its end. The event loop goes on meanwhile: the store may
// ask the user to unlock it.
bool runJob(QKeychain::Job *job)
{
    bool done = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&done, &loop] {
        done = true;
        loop.quit();
    });
    job->setAutoDelete(false);
    job->setKey(QLatin1String(Key));
    job->start();
    if (!done)
        loop.exec();
    return job->error() == QKeychain::NoError;
}

// False when the store could not be asked; found tells whether it holds one.
bool keychainRead(QString *password, bool *found)
{
    QKeychain::ReadPasswordJob job{QString::fromLatin1(Service)};
    if (runJob(&job)) {
        *password = job.textData();
        *found = true;
        return true;
    }
    *found = false;
    return job.error() == QKeychain::EntryNotFound;
}

bool keychainWrite(const QString &password)
{
    if (password.isEmpty()) {
        QKeychain::DeletePasswordJob job{QString::fromLatin1(Service)};
        return runJob(&job) || job.error() == QKeychain::EntryNotFound;
    }
    QKeychain::WritePasswordJob job{QString::fromLatin1(Service)};
    job.setTextData(password);
    if (runJob(&job))
        return true;
    qWarning().noquote() << "The desktop's secret store did not take the server password:" << job.errorString();
    return false;
}
#endif

} // namespace

ServerPasswordStore::ServerPasswordStore(const QString &folder)
    : m_folder(folder)
{
}

QString ServerPasswordStore::fileName() const
{
    return QDir(m_folder).filePath(QLatin1String(FileName));
}

bool ServerPasswordStore::secretStoreExpected()
{
#if !defined(KORVANE_HAVE_KEYCHAIN)
    return false;
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // The secret services of Linux desktops are reached over the session bus.
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
#else
    return true;
#endif
}

QString ServerPasswordStore::load(Core::SettingsDatabase *legacy)
{
    QString password;
    bool kept = false;
#ifdef KORVANE_HAVE_KEYCHAIN
    if (secretStoreExpected())
        keychainRead(&password, &kept);
#endif
    if (!kept)
        kept = readFile(&password);

    if (legacy && legacy->contains(QLatin1String(LegacyKey))) {
        const QString old = legacy->value(QLatin1String(LegacyKey)).toString();
        if (!kept)
            password = old;
        QString error;
        if (kept || old.isEmpty() || save(old, &error))
            legacy->remove(QLatin1String(LegacyKey));
        else
            qWarning().noquote() << "The server password stays in the settings database for now:" << error;
    }
    return password;
}

bool ServerPasswordStore::save(const QString &password, QString *error)
{
#ifdef KORVANE_HAVE_KEYCHAIN
    if (secretStoreExpected() && keychainWrite(password)) {
        // No copy stays behind in a file.
        QFile::remove(fileName());
        return true;
    }
#endif
    if (password.isEmpty()) {
        if (!QFileInfo::exists(fileName()) || QFile::remove(fileName()))
            return true;
        if (error)
            *error = QObject::tr("Cannot remove %1.").arg(QDir::toNativeSeparators(fileName()));
        return false;
    }
    return writeFile(password, error);
}

bool ServerPasswordStore::readFile(QString *password) const
{
    QFile file(fileName());
    if (!file.exists())
        return false;
    // A copy made with looser rights is tightened before it is read.
    if ((file.permissions() & ~(OwnerFile | QFile::ReadUser | QFile::WriteUser)) != 0)
        file.setPermissions(OwnerFile);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "The server password cannot be read from" << QDir::toNativeSeparators(fileName())
                             << ":" << file.errorString();
        return false;
    }
    *password = QString::fromUtf8(file.readAll());
    return true;
}

bool ServerPasswordStore::writeFile(const QString &password, QString *error) const
{
    const auto fail = [this, error](const QString &why) {
        if (error)
            *error = QObject::tr("Cannot keep the server password in %1: %2")
                         .arg(QDir::toNativeSeparators(fileName()), why);
        return false;
    };
    if (!QDir().mkpath(m_folder))
        return fail(QObject::tr("the folder cannot be created"));
    if (!QFile::setPermissions(m_folder, OwnerFolder))
        return fail(QObject::tr("the folder's rights cannot be narrowed to its owner"));
    QSaveFile file(fileName());
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    // Narrowed before a byte is written.
    if (!file.setPermissions(OwnerFile)) {
        file.cancelWriting();
        return fail(QObject::tr("the file's rights cannot be narrowed to its owner"));
    }
    file.write(password.toUtf8());
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace Internal
} // namespace Sqlstore
