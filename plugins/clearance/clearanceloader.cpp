#include "clearanceloader.h"

#include "baseclearance.h"

#include <xmltext/xmltextreader.h>

#include <QFile>
#include <QVariant>

namespace Clearance {

namespace {

// The boolean rule of QVariant: empty, "0" and "false" in any case are
// false, any other text is true.
bool rightFromText(const QString &text)
{
    return QVariant(text).toBool();
}

} // namespace

ClearanceLoader::ClearanceLoader(QObject *parent)
    : QObject(parent)
    , m_errorString(tr("no error"))
{
    qRegisterMetaType<Clearance::ClearanceLoader::Error>("Clearance::ClearanceLoader::Error");
    qRegisterMetaType<Clearance::ClearanceTag::RegisterType>("Clearance::ClearanceTag::RegisterType");
}

void ClearanceLoader::setError(Error error, const QString &errorString)
{
    m_error = error;
    m_errorString = errorString;
    emit errorOccurred(error, errorString);
}

bool ClearanceLoader::readText(const QString &fileName, QString *text, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (error)
            *error = tr("Error opening file:") + fileName;
        return false;
    }
    if (file.size() > XmlText::XmlTextReader::MaxFileSize) {
        if (error)
            *error = tr("The file %1 is too large: %2 bytes, at most %3 bytes (64 MiB) are read.")
                         .arg(fileName, QString::number(file.size()),
                              QString::number(XmlText::XmlTextReader::MaxFileSize));
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    *text = XmlText::XmlTextReader::repairQuotedRuns(XmlText::XmlTextReader::decode(bytes));
    return true;
}

QString ClearanceLoader::parseErrorText(const QString &message, int line, int column)
{
    return message + QStringLiteral(": line - ") + QString::number(line)
           + QStringLiteral(", column - ") + QString::number(column);
}

bool ClearanceLoader::readBase()
{
    // A failure of an earlier read must not be reported for this one.
    m_error = NoError;
    m_errorString = tr("no error");

    if (!m_base || m_fileName.isEmpty() || !QFile::exists(m_fileName)) {
        setError(FileError, tr("File does not exist."));
        return false;
    }

    QString text;
    QString why;
    if (!readText(m_fileName, &text, &why)) {
        setError(FileError, why);
        return false;
    }

    QString message;
    int line = 0;
    int column = 0;
    m_document = QDomDocument();
    if (!XmlText::XmlTextReader::parse(&m_document, text, &message, &line, &column)) {
        setError(ParseError, parseErrorText(message, line, column));
        return false;
    }

    const QDomElement root = m_document.documentElement();
    if (root.nodeName() != QLatin1String("base")
        || root.attribute(QStringLiteral("version")) != m_version) {
        setError(VersionError, tr("The file is not an version %1 file.").arg(m_version));
        return false;
    }
    read(root);
    return true;
}

void ClearanceLoader::read(const QDomElement &root)
{
    for (QDomElement child = root.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString name = child.tagName();
        if (name == QLatin1String("ir"))
            readTags(ClearanceTag::InputRegisters, child);
        else if (name == QLatin1String("hr"))
            readTags(ClearanceTag::HoldingRegisters, child);
        else if (name == QLatin1String("di"))
            readTags(ClearanceTag::DiscreteInputs, child);
        else if (name == QLatin1String("co"))
            readTags(ClearanceTag::Coils, child);
    }
}

void ClearanceLoader::readTags(ClearanceTag::RegisterType registerType, const QDomElement &element)
{
    if (!m_base)
        return;
    for (QDomElement child = element.firstChildElement(QStringLiteral("tag")); !child.isNull();
         child = child.nextSiblingElement(QStringLiteral("tag"))) {
        auto *tag = new ClearanceTag(registerType);
        tag->setId(child.attribute(QStringLiteral("id")));
        tag->setUpdate(rightFromText(child.attribute(QStringLiteral("update"), QStringLiteral("false"))));
        tag->setVisible(rightFromText(child.attribute(QStringLiteral("visible"), QStringLiteral("false"))));
        tag->setReadonly(rightFromText(child.attribute(QStringLiteral("readonly"), QStringLiteral("false"))));
        // A tag the collection refuses (empty id, id already present) is
        // not kept.
        if (!m_base->addTag(tag->Id(), tag, registerType))
            delete tag;
    }
}

} // namespace Clearance
