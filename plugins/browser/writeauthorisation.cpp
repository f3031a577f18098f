#include "writeauthorisation.h"

#include <clearance/baseclearance.h>
#include <clearance/clearanceloader.h>
#include <xmltext/xmltextreader.h>

#include <QCoreApplication>
#include <QDomDocument>
#include <QDomElement>

namespace Browser {

using Clearance::ClearanceTag;

QString WriteAuthorisation::refusal(const QString &level, const Clearance::BaseClearance *rights,
                                    const QStringList &levelsInOrder)
{
    if (!level.isEmpty() && !levelsInOrder.isEmpty() && levelsInOrder.constLast() == level)
        return QString();
    if (rights) {
        bool readOnly = false;
        for (const auto type : {ClearanceTag::HoldingRegisters, ClearanceTag::Coils}) {
            const QHash<QString, ClearanceTag *> tags = rights->tagHash(type);
            for (const ClearanceTag *tag : tags)
                readOnly = readOnly || (tag && tag->readonly());
        }
        if (!readOnly)
            return QString();
    }
    const QString highest = levelsInOrder.isEmpty() ? QString() : levelsInOrder.constLast();
    return QCoreApplication::translate(
               "Browser::WriteAuthorisation",
               "Writing from the register browser needs an access level whose rights for this "
               "device version mark no holding register or coil read-only%1.")
        .arg(highest.isEmpty() ? QString()
                               : QCoreApplication::translate("Browser::WriteAuthorisation",
                                                             ", or the highest level (%1)")
                                     .arg(highest));
}

QStringList WriteAuthorisation::levelOrder(const QString &listFile)
{
    QStringList levels;
    QString text;
    if (!Clearance::ClearanceLoader::readText(listFile, &text))
        return levels;
    QDomDocument document;
    if (!XmlText::XmlTextReader::parse(&document, text, nullptr, nullptr, nullptr))
        return levels;
    const QDomElement root = document.documentElement();
    for (QDomElement child = root.firstChildElement(QStringLiteral("clearance")); !child.isNull();
         child = child.nextSiblingElement(QStringLiteral("clearance"))) {
        const QString id = child.attribute(QStringLiteral("id"));
        // A later entry of the same id replaces the earlier one in the list.
        levels.removeAll(id);
        levels.append(id);
    }
    return levels;
}

} // namespace Browser
