#include "mapwriter.h"

#include <pointbook/basetag.h>
#include <pointbook/tagbaseloader.h>
#include <workspace/workspacecontroller.h>
#include <xmltext/xmltextreader.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QTextCodec>

#include <limits>

namespace Browser {

using Pointbook::Tag;

namespace {

// Attribute values are written as they are: the loader escapes "&", "<",
// ">" and "'" inside quotes itself and decodes no entities there. A double
// quote or a control character cannot be written at all.
QString unwritable(const QString &text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            return QStringLiteral("\"");
        if (c.unicode() < 0x20 || c.category() == QChar::Other_Control)
            return QCoreApplication::translate("Browser::MapWriter", "a control character");
    }
    return QString();
}

QString limitText(double value)
{
    return QString::number(value, 'g', 10);
}

void typeLimits(Tag::DataType type, double *min, double *max, int *precision)
{
    *precision = 0;
    switch (type) {
    case Tag::Int16:
        *min = std::numeric_limits<qint16>::min();
        *max = std::numeric_limits<qint16>::max();
        break;
    case Tag::UInt32:
        *min = 0;
        *max = std::numeric_limits<quint32>::max();
        break;
    case Tag::Int32:
        *min = std::numeric_limits<qint32>::min();
        *max = std::numeric_limits<qint32>::max();
        break;
    case Tag::UInt64:
        *min = 0;
        *max = 1.8e19;
        break;
    case Tag::Int64:
        *min = -9.2e18;
        *max = 9.2e18;
        break;
    case Tag::Float:
    case Tag::Double:
        // The limits are single-precision numbers in the map.
        *min = -3.4e38;
        *max = 3.4e38;
        *precision = type == Tag::Float ? 3 : 6;
        break;
    default:
        *min = 0;
        *max = std::numeric_limits<quint16>::max();
        break;
    }
}

QString sectionName(Tag::RegisterType table)
{
    return Tag::registerTypeToString(table);
}

// Writes to a scratch file beside the target and reads it back with the
// program's loader: every new tag must come out at its address, type and
// byte order.
QString verify(const QString &folder, const QString &version, const QByteArray &bytes,
               const QList<NewTag> &tags)
{
    QTemporaryFile scratch(folder + QStringLiteral("/.check-XXXXXX.xml"));
    if (!scratch.open())
        return QCoreApplication::translate("Browser::MapWriter", "Cannot write in %1: %2").arg(QDir::toNativeSeparators(folder), scratch.errorString());
    if (scratch.write(bytes) != bytes.size() || !scratch.flush())
        return QCoreApplication::translate("Browser::MapWriter", "Cannot write in %1: %2").arg(QDir::toNativeSeparators(folder), scratch.errorString());
    scratch.close();
    Pointbook::TagBaseLoader loader(scratch.fileName(), version);
    if (!loader.readBase())
        return QCoreApplication::translate("Browser::MapWriter", "The written map does not load: %1").arg(loader.errorString());
    for (const NewTag &t : tags) {
        const Tag *tag = loader.base()->tagHash(t.table).value(t.id);
        if (!tag || tag->startAddress() != t.address || tag->dataType() != t.dataType
            || tag->byteOrderInput() != t.byteOrder)
            return QCoreApplication::translate("Browser::MapWriter", "The written map does not hold tag \"%1\" as intended.").arg(t.id);
    }
    return QString();
}

} // namespace

QString MapWriter::fileName(const QString &folder, const QString &version)
{
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("base_v") + version + QStringLiteral(".xml");
}

QString MapWriter::backupName(const QString &file)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = file + QLatin1Char('.') + stamp + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = file + QLatin1Char('.') + stamp + QLatin1Char('-') + QString::number(n)
               + QStringLiteral(".bak");
    return name;
}

QString MapWriter::check(const QList<NewTag> &tags)
{
    if (tags.isEmpty())
        return QCoreApplication::translate("Browser::MapWriter", "There are no tags to write.");
    QSet<QString> ids[5];
    QSet<int> addresses[5];
    for (const NewTag &t : tags) {
        const QString where = t.id.isEmpty() ? QCoreApplication::translate("Browser::MapWriter", "the tag at %1").arg(t.address)
                                             : QCoreApplication::translate("Browser::MapWriter", "tag \"%1\"").arg(t.id);
        if (t.table < Tag::IR || t.table > Tag::CO)
            return QCoreApplication::translate("Browser::MapWriter", "%1 has no table.").arg(where);
        if (t.address < 0 || t.address > 65535)
            return QCoreApplication::translate("Browser::MapWriter", "%1: the address %2 lies outside 0 to 65535.").arg(where).arg(t.address);
        const int width = Tag::elementWidth(t.dataType);
        if (width < 2)
            return QCoreApplication::translate("Browser::MapWriter", "%1 has no usable data type.").arg(where);
        if (t.address + width / 2 - 1 > 65535)
            return QCoreApplication::translate("Browser::MapWriter", "%1 runs past address 65535.").arg(where);
        const QString order = Tag::byteOrderToString(t.byteOrder);
        if (order.size() != width)
            return QCoreApplication::translate("Browser::MapWriter", "%1: the byte order %2 does not fit %3.")
                .arg(where, order, Tag::dataTypeToString(t.dataType));
        if (t.id.trimmed().isEmpty())
            return QCoreApplication::translate("Browser::MapWriter", "The tag at %1 needs an id.").arg(t.address);
        if (t.name.trimmed().isEmpty())
            return QCoreApplication::translate("Browser::MapWriter", "%1 needs a name.").arg(where);
        for (const QString *text : {&t.id, &t.name, &t.unit, &t.description, &t.access}) {
            const QString bad = unwritable(*text);
            if (!bad.isEmpty())
                return QCoreApplication::translate("Browser::MapWriter", "%1: %2 cannot be written into a register map.").arg(where, bad);
        }
        if (Tag::stringToTypeAccess(t.access) == Tag::UnknownAccess)
            return QCoreApplication::translate("Browser::MapWriter", "%1: the access must be R, W or RW.").arg(where);
        if (ids[t.table].contains(t.id))
            return QCoreApplication::translate("Browser::MapWriter", "The id \"%1\" is given twice in %2.").arg(t.id, sectionName(t.table));
        if (addresses[t.table].contains(t.address))
            return QCoreApplication::translate("Browser::MapWriter", "Two tags start at %1 %2.").arg(sectionName(t.table)).arg(t.address);
        ids[t.table].insert(t.id);
        addresses[t.table].insert(t.address);
    }
    return QString();
}

MapWriter::Inspection MapWriter::inspect(const QString &folder, const QString &version,
                                         const QList<NewTag> &tags)
{
    Inspection result;
    const QString file = fileName(folder, version);
    result.exists = QFileInfo::exists(file);
    if (!result.exists)
        return result;
    Pointbook::TagBaseLoader loader(file, version);
    result.loads = loader.readBase();
    if (!result.loads) {
        result.loadError = loader.errorString();
        return result;
    }
    for (const Tag::RegisterType type : {Tag::IR, Tag::HR, Tag::DI, Tag::CO})
        result.tagCount += loader.base()->sizeTagHash(type);
    for (const NewTag &t : tags) {
        if (loader.base()->tagHash(t.table).contains(t.id))
            result.clashes.append(sectionName(t.table) + QLatin1Char(' ') + t.id);
    }
    return result;
}

QString MapWriter::sectionsText(const QList<NewTag> &tags, const QString &newline)
{
    QString text;
    for (const Tag::RegisterType type : {Tag::IR, Tag::HR, Tag::DI, Tag::CO}) {
        QList<NewTag> section;
        for (const NewTag &t : tags) {
            if (t.table == type)
                section.append(t);
        }
        if (section.isEmpty())
            continue;
        // Ascending addresses: only the first tag of a section may sit at 0,
        // where an offset of 0 still means that address.
        std::sort(section.begin(), section.end(),
                  [](const NewTag &a, const NewTag &b) { return a.address < b.address; });
        const bool bits = type == Tag::DI || type == Tag::CO;
        text += QStringLiteral("    <%1>").arg(sectionName(type)) + newline;
        for (const NewTag &t : qAsConst(section)) {
            double min = 0;
            double max = 0;
            int precision = 0;
            typeLimits(t.dataType, &min, &max, &precision);
            if (bits)
                max = 1;
            const int width = Tag::elementWidth(t.dataType);
            const QString output = Tag::byteOrderToString(
                width == 8 ? Tag::Order01234567 : width == 4 ? Tag::Order0123 : Tag::Order01);
            QString typeTag = QStringLiteral("dimension");
            if (type == Tag::HR)
                typeTag = QStringLiteral("parameter");
            else if (type == Tag::DI)
                typeTag = QStringLiteral("status");
            else if (type == Tag::CO)
                typeTag = QStringLiteral("command");
            text += QStringLiteral("        <tag>") + newline;
            text += QStringLiteral("            <information id=\"%1\" name=\"%2\" unit=\"%3\" "
                                   "description=\"%4\"/>")
                        .arg(t.id, t.name, t.unit, t.description)
                    + newline;
            text += QStringLiteral("            <modbussettins bitfield=\"false\" bitfieldend=\"false\" "
                                   "offset=\"%1\" datatype=\"%2\" byteOrderInput=\"%3\" "
                                   "byteOrderOutput=\"%4\" counter=\"1\" access=\"%5\"/>")
                        .arg(t.address)
                        .arg(Tag::dataTypeToString(t.dataType), Tag::byteOrderToString(t.byteOrder),
                             output, t.access)
                    + newline;
            text += QStringLiteral("            <value default=\"0.0\" min=\"%1\" max=\"%2\" "
                                   "precision=\"%3\" dampening=\"false\"/>")
                        .arg(limitText(min), limitText(max))
                        .arg(precision)
                    + newline;
            text += QStringLiteral("            <chart type=\"%1\"/>")
                        .arg(bits ? QStringLiteral("step") : QStringLiteral("plot"))
                    + newline;
            text += QStringLiteral("            <typetag type=\"%1\" profile=\"false\"/>").arg(typeTag)
                    + newline;
            text += QStringLiteral("        </tag>") + newline;
        }
        text += QStringLiteral("    </%1>").arg(sectionName(type)) + newline;
    }
    return text;
}

QByteArray MapWriter::newFile(const QString &version, const QList<NewTag> &tags)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    text += QStringLiteral("<base version=\"%1\">\n").arg(version);
    text += sectionsText(tags);
    text += QStringLiteral("</base>\n");
    return text.toUtf8();
}

bool MapWriter::install(const QString &file, const QByteArray &bytes, QString *backup,
                        QString *error)
{
    if (backup)
        backup->clear();
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QCoreApplication::translate("Browser::MapWriter", "Cannot write %1: %2").arg(QDir::toNativeSeparators(file), out.errorString());
        return false;
    }
    if (out.write(bytes) != bytes.size()) {
        if (error)
            *error = QCoreApplication::translate("Browser::MapWriter", "Cannot write %1: %2").arg(QDir::toNativeSeparators(file), out.errorString());
        out.cancelWriting();
        return false;
    }
    if (QFileInfo::exists(file)) {
        const QString name = backupName(file);
        if (!QFile::copy(file, name)) {
            if (error)
                *error = QCoreApplication::translate("Browser::MapWriter", "Cannot keep a backup of %1 as %2; nothing was changed.")
                             .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(name));
            out.cancelWriting();
            return false;
        }
        if (backup)
            *backup = name;
    }
    if (!out.commit()) {
        if (error)
            *error = QCoreApplication::translate("Browser::MapWriter", "Cannot replace %1: %2").arg(QDir::toNativeSeparators(file), out.errorString());
        return false;
    }
    return true;
}

bool MapWriter::write(const QString &folder, const QString &version, const QList<NewTag> &tags,
                      Mode mode, QString *backup, QString *error)
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (backup)
        backup->clear();
    if (!Workspace::WorkspaceController::isUsableVersion(version))
        return fail(QCoreApplication::translate("Browser::MapWriter", "\"%1\" cannot name a register map: use letters, digits, \".\", \"-\" and \"_\".")
                        .arg(version.left(40)));
    const QString problem = check(tags);
    if (!problem.isEmpty())
        return fail(problem);
    if (!QDir().mkpath(folder))
        return fail(QCoreApplication::translate("Browser::MapWriter", "Cannot create the folder %1.").arg(QDir::toNativeSeparators(folder)));

    const QString file = fileName(folder, version);
    const bool exists = QFileInfo::exists(file);
    if (exists && mode == Create)
        return fail(QCoreApplication::translate("Browser::MapWriter", "%1 exists already.").arg(QDir::toNativeSeparators(file)));

    QByteArray bytes;
    if (exists && mode == Append) {
        const Inspection before = inspect(folder, version, tags);
        if (!before.loads)
            return fail(QCoreApplication::translate("Browser::MapWriter", "The existing map cannot be read, so nothing can be added to it: %1")
                            .arg(before.loadError));
        if (!before.clashes.isEmpty())
            return fail(QCoreApplication::translate("Browser::MapWriter", "These ids are in the map already: %1.").arg(before.clashes.join(QStringLiteral(", "))));
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return fail(QCoreApplication::translate("Browser::MapWriter", "Cannot read %1: %2").arg(QDir::toNativeSeparators(file), in.errorString()));
        const QByteArray old = in.readAll();
        if (old.contains('\0'))
            return fail(QCoreApplication::translate("Browser::MapWriter", "%1 holds a zero byte; the tags are not added to it.")
                            .arg(QDir::toNativeSeparators(file)));
        QString text = XmlText::XmlTextReader::decode(old);
        // Keep the file's own encoding and line ends.
        QTextCodec *codec = QTextCodec::codecForName("UTF-8");
        static const QRegularExpression encodingRx(QStringLiteral("encoding=\"([a-zA-Z\\-0-9]+)\""));
        const QRegularExpressionMatch match = encodingRx.match(text);
        if (match.hasMatch()) {
            if (QTextCodec *declared = QTextCodec::codecForName(match.captured(1).toLatin1()))
                codec = declared;
        }
        const QString newline = text.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n")
                                                                      : QStringLiteral("\n");
        const QString sections = sectionsText(tags, newline);
        if (!codec->canEncode(sections))
            return fail(QCoreApplication::translate("Browser::MapWriter", "The map is written in %1, which cannot hold every character of the new tags.")
                            .arg(QString::fromLatin1(codec->name())));
        const int end = text.lastIndexOf(QLatin1String("</base>"));
        if (end < 0) {
            // A root without content (<base …/>) has nothing to keep.
            bytes = newFile(version, tags);
        } else {
            text.insert(end, sections);
            bytes = codec->fromUnicode(text);
        }
    } else {
        bytes = newFile(version, tags);
    }

    const QString wrong = verify(folder, version, bytes, tags);
    if (!wrong.isEmpty())
        return fail(wrong);
    return install(file, bytes, backup, error);
}

} // namespace Browser
