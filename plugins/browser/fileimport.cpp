#include "fileimport.h"
#include "mapwriter.h"

#include <clearance/baseclearance.h>
#include <clearance/clearanceloader.h>
#include <clearance/clearanceplugin.h>
#include <pointbook/basetag.h>
#include <pointbook/tagbaseloader.h>
#include <workspace/workspacecontroller.h>
#include <xmltext/xmltextreader.h>

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace Browser {

using Pointbook::Tag;

namespace {

// Files larger than this are no register maps or access files of a device.
constexpr qint64 MaxFileSize = 256 * 1024 * 1024;

bool readDocument(const QString &fileName, QDomDocument *document, QString *error)
{
    QString text;
    if (QFileInfo(fileName).size() > MaxFileSize) {
        *error = QCoreApplication::translate("Browser::FileImport", "The file is too large.");
        return false;
    }
    if (!Clearance::ClearanceLoader::readText(fileName, &text)) {
        *error = QCoreApplication::translate("Browser::FileImport", "Cannot read the file.");
        return false;
    }
    QString message;
    int line = 0;
    int column = 0;
    if (!XmlText::XmlTextReader::parse(document, text, &message, &line, &column)) {
        *error = Clearance::ClearanceLoader::parseErrorText(message, line, column);
        return false;
    }
    return true;
}

} // namespace

QString FileImport::versionFromName(Kind kind, const QString &fileName, QString *level)
{
    const QString name = QFileInfo(fileName).fileName();
    QRegularExpression pattern;
    if (kind == RegisterMap)
        pattern.setPattern(QStringLiteral("^base_v(.+)\\.xml$"));
    else if (kind == AccessRights)
        pattern.setPattern(QStringLiteral("^(.+)_v(.+)\\.xml$"));
    else
        return QString();
    pattern.setPatternOptions(QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return QString();
    const QString version = match.captured(kind == RegisterMap ? 1 : 2);
    if (!Workspace::WorkspaceController::isUsableVersion(version))
        return QString();
    if (level)
        *level = kind == AccessRights ? match.captured(1) : QString();
    return version;
}

QString FileImport::rootVersion(const QString &fileName)
{
    QDomDocument document;
    QString error;
    if (!readDocument(fileName, &document, &error))
        return QString();
    return document.documentElement().attribute(QStringLiteral("version"));
}

bool FileImport::isAccessList(const QString &fileName)
{
    if (QFileInfo(fileName).fileName().compare(QLatin1String("clearance.xml"), Qt::CaseInsensitive) == 0)
        return true;
    QDomDocument document;
    QString error;
    if (!readDocument(fileName, &document, &error))
        return false;
    return !document.documentElement().firstChildElement(QStringLiteral("clearance")).isNull();
}

FileImport::Result FileImport::checkMap(const QString &fileName, const QString &version)
{
    Result result;
    if (QFileInfo(fileName).size() > MaxFileSize) {
        result.error = QCoreApplication::translate("Browser::FileImport", "The file is too large for a register map.");
        return result;
    }
    Pointbook::TagBaseLoader loader(fileName, version);
    if (!loader.readBase()) {
        result.error = loader.errorString();
        return result;
    }
    for (const Tag::RegisterType type : {Tag::IR, Tag::HR, Tag::DI, Tag::CO})
        result.entries += loader.base()->sizeTagHash(type);
    result.ok = true;
    return result;
}

FileImport::Result FileImport::checkAccessList(const QString &fileName)
{
    Result result;
    QDomDocument document;
    if (!readDocument(fileName, &document, &result.error))
        return result;
    const QDomElement root = document.documentElement();
    for (QDomElement child = root.firstChildElement(QStringLiteral("clearance")); !child.isNull();
         child = child.nextSiblingElement(QStringLiteral("clearance"))) {
        const QString id = child.attribute(QStringLiteral("id"));
        if (!Clearance::ClearancePlugin::isSafeFileNamePart(id)) {
            result.error = QCoreApplication::translate("Browser::FileImport", "The level id \"%1\" (line %2) cannot name a file.")
                               .arg(id.left(40))
                               .arg(child.lineNumber());
            return result;
        }
        ++result.entries;
    }
    if (result.entries == 0) {
        result.error = QCoreApplication::translate("Browser::FileImport", "The file names no access level (no \"clearance\" element).");
        return result;
    }
    result.ok = true;
    return result;
}

FileImport::Result FileImport::checkRights(const QString &fileName, const QString &version)
{
    Result result;
    if (QFileInfo(fileName).size() > MaxFileSize) {
        result.error = QCoreApplication::translate("Browser::FileImport", "The file is too large for an access file.");
        return result;
    }
    Clearance::BaseClearance base;
    Clearance::ClearanceLoader loader;
    loader.setBase(&base);
    loader.setFileName(fileName);
    loader.setVersionBase(version);
    if (!loader.readBase()) {
        result.error = loader.errorString();
        return result;
    }
    using Clearance::ClearanceTag;
    for (const auto type : {ClearanceTag::InputRegisters, ClearanceTag::HoldingRegisters,
                            ClearanceTag::DiscreteInputs, ClearanceTag::Coils})
        result.entries += base.sizeTagHash(type);
    result.ok = true;
    return result;
}

QString FileImport::targetName(Kind kind, const QString &version, const QString &level)
{
    switch (kind) {
    case RegisterMap:
        return QStringLiteral("base_v") + version + QStringLiteral(".xml");
    case AccessList:
        return QStringLiteral("clearance.xml");
    case AccessRights:
        return level + QStringLiteral("_v") + version + QStringLiteral(".xml");
    }
    return QString();
}

bool FileImport::install(const QString &fileName, const QString &folder, const QString &target,
                         QString *backup, QString *error)
{
    const QString destination = QDir(folder).absoluteFilePath(target);
    if (QFileInfo(fileName).canonicalFilePath() == QFileInfo(destination).canonicalFilePath()
        && QFileInfo::exists(destination)) {
        if (error)
            *error = QCoreApplication::translate("Browser::FileImport", "%1 is the file in the folder already.").arg(QDir::toNativeSeparators(fileName));
        return false;
    }
    QFile in(fileName);
    if (!in.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QCoreApplication::translate("Browser::FileImport", "Cannot read %1: %2").arg(QDir::toNativeSeparators(fileName), in.errorString());
        return false;
    }
    const QByteArray bytes = in.readAll();
    return MapWriter::install(destination, bytes, backup, error);
}

} // namespace Browser
