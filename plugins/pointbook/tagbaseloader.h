#pragma once

#include "pointbook_global.h"
#include "tag.h"

#include <QDomDocument>
#include <QObject>
#include <QString>

QT_BEGIN_NAMESPACE
class QDomElement;
QT_END_NAMESPACE

namespace Pointbook {

class BaseTag;

// Reads a register map file into its tag collection: decodes and repairs
// the text, parses it, checks root and version, creates one tag per `tag`
// element and lays the tags out over register addresses.
class POINTBOOK_EXPORT TagBaseLoader : public QObject
{
    Q_OBJECT

public:
    enum Error {
        NoError = 0,
        FileError = 2,
        FormatError = 3,
        ParseError = 4
    };

    // Most dynamic properties one tag may carry: each further one costs a
    // search through those before it.
    static constexpr int MaxTagProperties = 256;

    explicit TagBaseLoader(QObject *parent = nullptr);
    TagBaseLoader(const QString &fileName, const QString &version, QObject *parent = nullptr);

    void setFileName(const QString &fileName);
    QString fileName() const;
    void setVersionBase(const QString &versionBase);
    QString versionBase() const;

    // Owned by the loader; emptied and refilled by every readBase().
    BaseTag *base() const;

    // The last error; a successful load leaves them as they were.
    Error error() const;
    QString errorString() const;

    bool readBase();

signals:
    void errorOccurred(Pointbook::TagBaseLoader::Error error, const QString &errorString);
    void changeBase();

private:
    void setError(Error error, const QString &errorString);
    // Both give the reason a tag is refused in *problem and return false.
    bool readSection(const QDomElement &section, Tag::RegisterType type, QString *problem);
    bool readTag(const QDomElement &element, Tag *tag, const Tag *previous, QString *problem);

    QString m_errorString;
    Error m_error = NoError;
    QString m_fileName;
    QString m_versionBase;
    BaseTag *m_base = nullptr;
    QDomDocument m_document;
};

} // namespace Pointbook

Q_DECLARE_METATYPE(Pointbook::TagBaseLoader::Error)
