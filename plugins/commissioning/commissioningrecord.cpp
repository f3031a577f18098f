#include "commissioningrecord.h"

#include "changelog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include <memory>

namespace Commissioning {

using Pointbook::Tag;

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString tableTitle(Tag::RegisterType type)
{
    switch (type) {
    case Tag::HR: return CommissioningRecord::tr("Holding registers");
    case Tag::CO: return CommissioningRecord::tr("Coils");
    case Tag::IR: return CommissioningRecord::tr("Input registers");
    case Tag::DI: return CommissioningRecord::tr("Discrete inputs");
    default: return QString();
    }
}

} // namespace

QString CommissioningRecord::htmlFileName(const QString &pdfFileName)
{
    const QFileInfo info(pdfFileName);
    const QString base = info.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0
                             ? info.completeBaseName() : info.fileName();
    return info.dir().filePath(base + QStringLiteral(".html"));
}

QString CommissioningRecord::html() const
{
    QString h;
    h += QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                        "<style>body{font-family:sans-serif;font-size:9pt}"
                        "table{border-collapse:collapse;width:100%}"
                        "th,td{border:1px solid #999;padding:2px 4px;text-align:left;vertical-align:top}"
                        "th{background:#e8e8e8}td.num{text-align:right}h1{font-size:15pt}"
                        "h2{font-size:12pt;margin-top:12pt}h3{font-size:10pt}</style></head><body>\n")
             .arg(esc(tr("Commissioning record")));
    h += QStringLiteral("<h1>%1</h1>\n").arg(esc(tr("Commissioning record")));
    const QString dash = QStringLiteral("—");
    const QVector<QPair<QString, QString>> facts{
        {tr("Connection"), connection},
        {tr("Device version"), deviceVersion},
        {tr("Serial number"), serial},
        {tr("Identification"), identification},
        {tr("Date and time"),
         timeUtc.isValid() ? timeUtc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                 + QStringLiteral(" (") + timeUtc.toString(Qt::ISODate) + QLatin1Char(')')
                           : QString()},
        {tr("Access level"), accessLevel}};
    h += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" border=\"1\">\n");
    for (const auto &f : facts)
        h += QStringLiteral("<tr><th width=\"25%\">%1</th><td>%2</td></tr>\n")
                 .arg(esc(f.first), f.second.isEmpty() ? dash : esc(f.second));
    h += QStringLiteral("</table>\n");

    h += QStringLiteral("<h2>%1</h2>\n").arg(esc(tr("Parameters")));
    if (parameters.isEmpty())
        h += QStringLiteral("<p>%1</p>\n").arg(esc(tr("No parameter is visible at this access level.")));
    for (const Tag::RegisterType type : {Tag::HR, Tag::CO, Tag::IR, Tag::DI}) {
        QString rows;
        for (const Parameter &p : parameters) {
            if (p.registerType != type)
                continue;
            rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"num\" align=\"right\">%3</td><td>%4</td></tr>\n")
                        .arg(esc(p.name), esc(p.id),
                             p.problem.isEmpty() ? esc(p.value)
                                                 : QStringLiteral("<i>%1</i>").arg(esc(tr("not read: %1").arg(p.problem))),
                             esc(p.unit));
        }
        if (rows.isEmpty())
            continue;
        h += QStringLiteral("<h3>%1</h3>\n<table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" border=\"1\">"
                            "<tr><th width=\"38%\">%2</th><th width=\"27%\">%3</th><th width=\"23%\">%4</th>"
                            "<th width=\"12%\">%5</th></tr>\n")
                 .arg(esc(tableTitle(type)), esc(tr("Parameter")), esc(tr("Tag id")),
                      esc(tr("Value")), esc(tr("Unit")));
        h += rows + QStringLiteral("</table>\n");
    }

    h += QStringLiteral("<h2>%1</h2>\n").arg(esc(tr("Changes in this session")));
    if (changes.isEmpty()) {
        h += QStringLiteral("<p>%1</p>\n").arg(esc(tr("No value was written in this session.")));
    } else {
        const QStringList &columns = ChangeLog::columns();
        const auto cell = [&columns](const QVector<QVariant> &row, const char *name) {
            return row.value(columns.indexOf(QLatin1String(name))).toString();
        };
        h += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" border=\"1\"><tr><th>%1</th><th>%2</th>"
                            "<th>%3</th><th>%4</th><th>%5</th><th>%6</th></tr>\n")
                 .arg(esc(tr("Time (UTC)")), esc(tr("Tag")), esc(tr("Old value")),
                      esc(tr("New value")), esc(tr("Result")), esc(tr("Detail")));
        for (const QVector<QVariant> &row : changes) {
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td></tr>\n")
                     .arg(esc(cell(row, "time_utc").replace(QLatin1Char('T'), QLatin1Char(' '))),
                          esc(cell(row, "tag_id")), esc(cell(row, "old_value")), esc(cell(row, "new_value")),
                          esc(cell(row, "result")), esc(cell(row, "detail")));
        }
        h += QStringLiteral("</table>\n");
    }
    h += QStringLiteral("</body></html>\n");
    return h;
}

bool CommissioningRecord::write(const QString &pdfFileName, QString *error) const
{
    const QString text = html();
    const QString htmlName = htmlFileName(pdfFileName);
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    // The PDF goes to a file beside and is renamed once whole, like the HTML.
    QSaveFile pdf(pdfFileName);
    if (!pdf.open(QIODevice::WriteOnly))
        return fail(tr("Cannot write \"%1\": %2").arg(QFileInfo(pdfFileName).fileName(), pdf.errorString()));
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(tr("Commissioning record"));
        writer.setCreator(QStringLiteral("Korvane_Config"));
        // QTextDocument::print() keeps 2 cm margins of its own and numbers
        // the pages; the page itself needs none on top.
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        writer.setResolution(300);
        QTextDocument document;
        QFont font = document.defaultFont();
        font.setPointSizeF(9);
        document.setDefaultFont(font);
        document.setHtml(text);
        document.print(&writer);
    }
    if (!pdf.commit())
        return fail(tr("Cannot write \"%1\": %2").arg(QFileInfo(pdfFileName).fileName(), pdf.errorString()));

    QSaveFile page(htmlName);
    const QByteArray bytes = text.toUtf8();
    if (!page.open(QIODevice::WriteOnly) || page.write(bytes) != bytes.size() || !page.commit())
        return fail(tr("The PDF was written, but not the HTML copy \"%1\": %2")
                        .arg(QFileInfo(htmlName).fileName(), page.errorString()));
    return true;
}

} // namespace Commissioning
