#pragma once

#include "pointbook_global.h"
#include "tag.h"

#include <QJsonValue>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace Pointbook {

// A device's parameters by tag, as a .kvparams file: JSON with typed values
// (numbers, booleans for coils and one-bit fields, arrays for array tags).
// Reading is strict: any fault names its entry and nothing is loaded.
class POINTBOOK_EXPORT ParameterSet
{
    Q_DECLARE_TR_FUNCTIONS(Pointbook::ParameterSet)

public:
    enum { Format = 1 };

    struct Entry
    {
        Tag::RegisterType registerType = Tag::HR;
        QString id;
        QString name;
        QString unit;
        QString type;      // typeName() of the tag
        QJsonValue value;
    };

    QString deviceVersion;
    QString serial;
    QString savedUtc;      // ISO 8601
    QString savedByLevel;  // empty where there are no access levels
    QVector<Entry> parameters;
    QStringList applyOrder; // ids; optional
    QStringList missing;    // ids that could not be read; optional

    static bool fromJson(const QByteArray &json, ParameterSet *set, QString *error);
    QByteArray toJson() const;
    static bool load(const QString &fileName, ParameterSet *set, QString *error);
    bool save(const QString &fileName, QString *error) const;
    int indexOf(const QString &id) const;

    // What a parameter set holds: holding registers and coils the map lets
    // read and write. Write-only tags and commands are left out, since
    // applying a file must never repeat an action such as a reset.
    static bool isParameter(const Tag *tag);
    // "bool" for coils and one-bit fields, otherwise the data type.
    static QString typeName(const Tag *tag);
    // The value the words give for the tag; undefined, with the reason,
    // when no JSON value can hold it (NaN, infinity).
    static QJsonValue jsonValue(const Tag *tag, const QVector<quint16> &words, QString *error = nullptr);
    // The value for Tag::encode and TagWriter::write.
    static QVariant writeValue(const QJsonValue &value);
    // As the user reads it: on/off, shortest numbers, arrays in brackets.
    static QString valueText(const QJsonValue &value);
    // Entry for a tag whose value the words give.
    static Entry entryFor(const Tag *tag, const QJsonValue &value);
};

} // namespace Pointbook
