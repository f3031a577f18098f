#pragma once

#include "core_global.h"

#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVariant>

namespace Core {

// A key-value store kept in an SQLite file. Values keep their type across
// runs (stored as QDataStream-serialised QVariant, read back defensively:
// a stored value that is not well formed is treated as absent). Every write goes to the
// file at once, or at endTransaction() when inside a transaction. When the
// file cannot be used the store reports it once and keeps working in memory.
class CORE_EXPORT SettingsDatabase : public QObject
{
    Q_OBJECT

public:
    // Longest key read back from the file.
    static constexpr int MaxKeyLength = 4096;

    explicit SettingsDatabase(const QString &fileName, QObject *parent = nullptr);
    ~SettingsDatabase() override;

    QString fileName() const { return m_fileName; }
    // False once the store keeps its values in memory only.
    bool isPersistent() const { return m_persistent; }
    QString errorString() const { return m_errorString; }

    void beginGroup(const QString &prefix);
    void endGroup();
    QString group() const;

    void beginTransaction();
    // True when the writes since beginTransaction() are in the file (for a
    // nested call: when nothing has failed so far).
    bool endTransaction();

    // The value is in force for this run either way; true when it also
    // reached the file (or will at endTransaction()). An empty key is refused.
    bool setValue(const QString &key, const QVariant &value);
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    bool contains(const QString &key) const;
    // Removes the key and every key below it.
    void remove(const QString &key);
    // Keys directly inside the current group.
    QStringList childKeys() const;

private:
    QString effectiveKey(const QString &key) const;
    bool open();
    bool exec(const QString &statement);
    bool writeValue(const QString &key, const QVariant &value);
    bool removeKeys(const QString &key);
    void fail(const QString &what);

    QString m_fileName;
    QString m_connectionName;
    QMap<QString, QVariant> m_values;
    QStringList m_groups;
    int m_transactionDepth = 0;
    bool m_persistent = false;
    QString m_errorString;
};

} // namespace Core
