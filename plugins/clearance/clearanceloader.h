#pragma once

#include "clearance_global.h"
#include "clearancetag.h"

#include <QDomDocument>
#include <QDomElement>
#include <QObject>
#include <QString>

namespace Clearance {

class BaseClearance;

// Reads one rights file ("<level>_v<version>.xml") into a BaseClearance.
class CLEARANCE_EXPORT ClearanceLoader : public QObject
{
    Q_OBJECT

public:
    enum Error {
        NoError = 0,
        FileError = 2,
        VersionError = 3,
        ParseError = 4
    };
    Q_ENUM(Error)

    explicit ClearanceLoader(QObject *parent = nullptr);

    void setBase(BaseClearance *base) { m_base = base; }
    BaseClearance *base() const { return m_base; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    QString fileName() const { return m_fileName; }
    void setVersionBase(const QString &version) { m_version = version; }
    QString versionBase() const { return m_version; }
    Error error() const { return m_error; }
    QString errorString() const { return m_errorString; }

    bool readBase();

    // Reads the whole file as decoded, repaired text; false with the reason
    // in *error (may be null) when it cannot be opened or is too large.
    // Shared with the reader of the level list.
    static bool readText(const QString &fileName, QString *text, QString *error = nullptr);
    // The parser's failure in the form shown to users.
    static QString parseErrorText(const QString &message, int line, int column);

public slots:
    void read(const QDomElement &root);
    void readTags(Clearance::ClearanceTag::RegisterType registerType, const QDomElement &element);

signals:
    void errorOccurred(Clearance::ClearanceLoader::Error error, const QString &errorString);

private:
    void setError(Error error, const QString &errorString);

    BaseClearance *m_base = nullptr;
    QString m_errorString;
    Error m_error = NoError;
    QString m_fileName;
    QString m_version;
    QDomDocument m_document;
};

} // namespace Clearance
