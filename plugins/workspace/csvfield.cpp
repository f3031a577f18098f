#include "csvfield.h"

namespace Workspace {

namespace {
bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
} // namespace

bool CsvField::isNumber(const QString &field)
{
    int i = 0;
    const int n = field.size();
    if (i < n && (field.at(i) == QLatin1Char('+') || field.at(i) == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && isDigit(field.at(i))) {
        ++i;
        ++digits;
    }
    if (i < n && field.at(i) == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(field.at(i))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (field.at(i) == QLatin1Char('e') || field.at(i) == QLatin1Char('E'))) {
        ++i;
        if (i < n && (field.at(i) == QLatin1Char('+') || field.at(i) == QLatin1Char('-')))
            ++i;
        int exponent = 0;
        while (i < n && isDigit(field.at(i))) {
            ++i;
            ++exponent;
        }
        if (exponent == 0)
            return false;
    }
    return i == n;
}

QString CsvField::quoted(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"'))
        && !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString text = field;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString CsvField::text(const QString &field)
{
    if (field.isEmpty())
        return field;
    const QChar first = field.at(0);
    const bool formulaLike = first == QLatin1Char('=') || first == QLatin1Char('+') || first == QLatin1Char('-')
                             || first == QLatin1Char('@') || first == QLatin1Char('\t')
                             || first == QLatin1Char('\r');
    // The apostrophe is what spreadsheets take for "text follows" and do not
    // show; a number keeps its sign and stays a number.
    if (formulaLike && !isNumber(field))
        return quoted(QLatin1Char('\'') + field);
    return quoted(field);
}

} // namespace Workspace
