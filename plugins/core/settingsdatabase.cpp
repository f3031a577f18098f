#include "settingsdatabase.h"

#include <QAtomicInt>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace Core {

Q_LOGGING_CATEGORY(settingsDbLog, "app.core.settingsdatabase")

namespace {

QAtomicInt s_connectionCounter;

QByteArray serialise(const QVariant &value, bool *ok)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_15);
    stream << value;
    *ok = stream.status() == QDataStream::Ok;
    return bytes;
}

QVariant deserialise(const QByteArray &bytes, bool *ok)
{
    QDataStream stream(bytes);
    stream.setVersion(QDataStream::Qt_5_15);
    // Refuse unknown type ids before QVariant tries to build one of them.
    // 127 marks a user type that is named after the id.
    quint32 typeId = 0;
    stream >> typeId;
    if (stream.status() != QDataStream::Ok
        || (typeId != 0 && typeId != 127 && !QMetaType::isRegistered(int(typeId)))) {
        *ok = false;
        return QVariant();
    }
    stream.device()->seek(0);
    QVariant value;
    stream >> value;
    *ok = stream.status() == QDataStream::Ok && stream.atEnd();
    return value;
}

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

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(m_fileName);
        m_persistent = true;
        if (!db.open()) {
            fail(db.lastError().text());
            return false;
        }
    }
    if (!exec(QStringLiteral("CREATE TABLE IF NOT EXISTS settings "
                             "(key TEXT PRIMARY KEY NOT NULL, value BLOB)")))
        return false;

    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(QStringLiteral("SELECT key, value FROM settings"))) {
        fail(query.lastError().text());
        return false;
    }
    int unreadable = 0;
    while (query.next()) {
        bool ok = false;
        const QVariant value = deserialise(query.value(1).toByteArray(), &ok);
        if (ok)
            m_values.insert(query.value(0).toString(), value);
        else
            ++unreadable;
    }
    if (query.lastError().isValid()) {
        fail(query.lastError().text());
        return false;
    }
    if (unreadable > 0) {
        qCWarning(settingsDbLog, "Settings database \"%s\": %d unreadable value(s) skipped.",
                  qPrintable(m_fileName), unreadable);
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

void SettingsDatabase::endTransaction()
{
    if (m_transactionDepth == 0) {
        qCWarning(settingsDbLog, "SettingsDatabase::endTransaction without beginTransaction");
        return;
    }
    if (--m_transactionDepth > 0 || !m_persistent)
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.commit()) {
        const QString error = db.lastError().text();
        db.rollback();
        fail(error);
    }
}

bool SettingsDatabase::writeValue(const QString &key, const QVariant &value)
{
    bool ok = false;
    const QByteArray bytes = serialise(value, &ok);
    if (!ok) {
        qCWarning(settingsDbLog, "Settings database: value of \"%s\" (type %s) cannot be stored; "
                                 "it is kept for this run only.",
                  qPrintable(key), value.typeName());
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

void SettingsDatabase::setValue(const QString &key, const QVariant &value)
{
    const QString k = effectiveKey(key);
    if (trimSlashes(key).isEmpty()) {
        qCWarning(settingsDbLog, "SettingsDatabase::setValue called with an empty key");
        return;
    }
    m_values.insert(k, value);
    writeValue(k, value);
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
