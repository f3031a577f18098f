#include "settingsdatabase.h"

#include "settingscodec.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace Core {

Q_LOGGING_CATEGORY(settingsDbLog, "app.core.settingsdatabase")

namespace {

QAtomicInt s_connectionCounter;

QString trimSlashes(QString text)
{
    while (text.startsWith(QLatin1Char('/')))
        text.remove(0, 1);
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

} // namespace

SettingsDatabase::SettingsDatabase(const QString &fileName, QObject *parent)
    : QObject(parent)
    , m_fileName(fileName)
    , m_connectionName(QStringLiteral("Core.SettingsDatabase.%1")
                           .arg(s_connectionCounter.fetchAndAddRelaxed(1)))
{
    m_persistent = open();
}

SettingsDatabase::~SettingsDatabase()
{
    // An unbalanced transaction still holds the caller's writes: keep them.
    if (m_transactionDepth > 0) {
        m_transactionDepth = 1;
        endTransaction();
    }
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool SettingsDatabase::open()
{
    if (m_fileName.isEmpty()) {
        m_errorString = tr("No file name was given.");
        qCWarning(settingsDbLog, "Settings database has no file; settings are kept in memory for this run.");
        return false;
    }
    const QFileInfo info(m_fileName);
    QDir().mkpath(info.absolutePath());
    if (info.exists() && (!info.isFile() || !info.isWritable())) {
        m_persistent = true; // let fail() report it
        fail(info.isFile() ? tr("the file is not writable") : tr("the path is not a file"));
        return false;
    }
    if (!info.exists() && !QFileInfo(info.absolutePath()).isWritable()) {
        m_persistent = true;
        fail(tr("its folder is not writable"));
        return false;
    }

    // Settings of other programs' users are none of their business: the
    // file (and the journals SQLite gives the same rights) is its owner's.
    const QFile::Permissions foreign = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                       | QFile::WriteOther | QFile::ExeOther;
    if (!info.exists()) {
        QFile file(m_fileName);
        if (file.open(QIODevice::WriteOnly))
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    } else if (info.permissions() & foreign) {
        QFile::setPermissions(m_fileName, info.permissions() & ~foreign);
    }

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(m_fileName);
        m_persistent = true;
        if (!db.open()) {
            fail(db.lastError().text());
            return false;
        }
    }
    // A value removed or replaced (a secret moved elsewhere) leaves no copy
    // in the file's free pages.
    if (!exec(QStringLiteral("PRAGMA secure_delete = ON")))
        return false;
    if (!exec(QStringLiteral("CREATE TABLE IF NOT EXISTS settings "
                             "(key TEXT PRIMARY KEY NOT NULL, value BLOB)")))
        return false;

    // Oversized rows are not even fetched: a value that large was not
    // written by this store.
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT key, value, 1 FROM settings"
                                 " WHERE ifnull(length(value), 0) <= ? AND length(key) <= ?"
                                 " UNION ALL SELECT substr(key, 1, 64), NULL, 0 FROM settings"
                                 " WHERE ifnull(length(value), 0) > ? OR length(key) > ?"));
    for (int i = 0; i < 2; ++i) {
        query.addBindValue(Internal::SettingsCodec::MaxBytes);
        query.addBindValue(MaxKeyLength);
    }
    if (!query.exec()) {
        fail(query.lastError().text());
        return false;
    }
    // A value that cannot be read is treated as absent; the log names the
    // first few once.
    QStringList unreadable;
    int unreadableCount = 0;
    while (query.next()) {
        const QString key = query.value(0).toString();
        QVariant value;
        QString reason = QStringLiteral("too large");
        if (query.value(2).toBool()
            && Internal::SettingsCodec::decode(query.value(1).toByteArray(), &value, &reason)) {
            m_values.insert(key, value);
            continue;
        }
        if (++unreadableCount <= 5)
            unreadable.append(QStringLiteral("\"%1\" (%2)").arg(key.left(64), reason));
    }
    if (query.lastError().isValid()) {
        fail(query.lastError().text());
        return false;
    }
    if (unreadableCount > 0) {
        qCWarning(settingsDbLog, "Settings database \"%s\": %d unreadable value(s) skipped: %s%s",
                  qPrintable(QDir::toNativeSeparators(m_fileName)), unreadableCount,
                  qPrintable(unreadable.join(QLatin1String(", "))),
                  unreadableCount > unreadable.size() ? ", ..." : "");
    }
    return true;
}

void SettingsDatabase::fail(const QString &what)
{
    if (!m_persistent)
        return;
    m_persistent = false;
    m_errorString = what;
    qCWarning(settingsDbLog,
              "Settings database \"%s\" cannot be used (%s); settings are kept in memory for this run.",
              qPrintable(QDir::toNativeSeparators(m_fileName)), qPrintable(what));
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool SettingsDatabase::exec(const QString &statement)
{
    if (!m_persistent)
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(statement)) {
        fail(query.lastError().text());
        return false;
    }
    return true;
}

QString SettingsDatabase::effectiveKey(const QString &key) const
{
    const QString k = trimSlashes(key);
    const QString g = group();
    if (g.isEmpty())
        return k;
    if (k.isEmpty())
        return g;
    return g + QLatin1Char('/') + k;
}

void SettingsDatabase::beginGroup(const QString &prefix)
{
    m_groups.append(trimSlashes(prefix));
}

void SettingsDatabase::endGroup()
{
    if (m_groups.isEmpty()) {
        qCWarning(settingsDbLog, "SettingsDatabase::endGroup without beginGroup");
        return;
    }
    m_groups.removeLast();
}

QString SettingsDatabase::group() const
{
    QStringList parts;
    for (const QString &g : m_groups) {
        if (!g.isEmpty())
            parts.append(g);
    }
    return parts.join(QLatin1Char('/'));
}

void SettingsDatabase::beginTransaction()
{
    if (m_transactionDepth++ > 0 || !m_persistent)
        return;
    if (!QSqlDatabase::database(m_connectionName, false).transaction())
        fail(QSqlDatabase::database(m_connectionName, false).lastError().text());
}

bool SettingsDatabase::endTransaction()
{
    if (m_transactionDepth == 0) {
        qCWarning(settingsDbLog, "SettingsDatabase::endTransaction without beginTransaction");
        return false;
    }
    if (--m_transactionDepth > 0 || !m_persistent)
        return m_persistent;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.commit()) {
        const QString error = db.lastError().text();
        db.rollback();
        fail(error);
        return false;
    }
    return true;
}

bool SettingsDatabase::writeValue(const QString &key, const QVariant &value)
{
    QString reason;
    const QByteArray bytes = Internal::SettingsCodec::encode(value, &reason);
    if (bytes.isNull()) {
        qCWarning(settingsDbLog, "Settings database: value of \"%s\" (type %s) cannot be stored (%s); "
                                 "it is kept for this run only.",
                  qPrintable(key), value.typeName(), qPrintable(reason));
        return false;
    }
    if (!m_persistent)
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO settings (key, value) VALUES (?, ?)"));
    query.addBindValue(key);
    query.addBindValue(bytes);
    if (!query.exec()) {
        fail(query.lastError().text());
        return false;
    }
    return true;
}

bool SettingsDatabase::removeKeys(const QString &key)
{
    if (!m_persistent)
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (key.isEmpty()) {
        query.prepare(QStringLiteral("DELETE FROM settings"));
    } else {
        const QString prefix = key + QLatin1Char('/');
        query.prepare(QStringLiteral("DELETE FROM settings WHERE key = ? OR substr(key, 1, ?) = ?"));
        query.addBindValue(key);
        query.addBindValue(prefix.size());
        query.addBindValue(prefix);
    }
    if (!query.exec()) {
        fail(query.lastError().text());
        return false;
    }
    return true;
}

bool SettingsDatabase::setValue(const QString &key, const QVariant &value)
{
    const QString k = effectiveKey(key);
    if (trimSlashes(key).isEmpty()) {
        qCWarning(settingsDbLog, "SettingsDatabase::setValue called with an empty key");
        return false;
    }
    m_values.insert(k, value);
    return writeValue(k, value);
}

QVariant SettingsDatabase::value(const QString &key, const QVariant &defaultValue) const
{
    return m_values.value(effectiveKey(key), defaultValue);
}

bool SettingsDatabase::contains(const QString &key) const
{
    return m_values.contains(effectiveKey(key));
}

void SettingsDatabase::remove(const QString &key)
{
    const QString k = effectiveKey(key);
    if (k.isEmpty()) {
        m_values.clear();
    } else {
        const QString prefix = k + QLatin1Char('/');
        m_values.remove(k);
        auto it = m_values.lowerBound(prefix);
        while (it != m_values.end() && it.key().startsWith(prefix))
            it = m_values.erase(it);
    }
    removeKeys(k);
}

QStringList SettingsDatabase::childKeys() const
{
    const QString g = group();
    const QString prefix = g.isEmpty() ? QString() : g + QLatin1Char('/');
    QStringList keys;
    for (auto it = m_values.lowerBound(prefix); it != m_values.end(); ++it) {
        if (!it.key().startsWith(prefix))
            break;
        const QString rest = it.key().mid(prefix.size());
        if (!rest.isEmpty() && !rest.contains(QLatin1Char('/')))
            keys.append(rest);
    }
    return keys;
}

} // namespace Core
