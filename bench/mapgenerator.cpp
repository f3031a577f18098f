#include "mapgenerator.h"

#include <QFile>
#include <QTextStream>

#include <cstring>

namespace Bench {

namespace {

struct Kind
{
    const char *type;
    const char *orderIn;
    const char *orderOut;
    int counter;
    int registers;
};

// The mix of a typical controller map: mostly 16-bit words, then 32-bit
// values and floats, a few 64-bit values and byte strings.
const Kind kinds[] = {
    {"uint16", "10", "01", 1, 1}, {"int16", "10", "01", 1, 1},
    {"uint16", "10", "01", 1, 1}, {"float", "3210", "0123", 1, 2},
    {"uint32", "1032", "0123", 1, 2}, {"uint16", "10", "01", 1, 1},
    {"int32", "3210", "0123", 1, 2}, {"float", "1032", "0123", 1, 2},
    {"uint16", "10", "01", 1, 1}, {"double", "76543210", "01234567", 1, 4},
    {"int16", "10", "01", 1, 1}, {"uint8", "0", "0", 2, 1},
    {"uint64", "76543210", "01234567", 1, 4}, {"uint16", "10", "01", 1, 1},
    {"int64", "67452301", "01234567", 1, 4}, {"float", "3210", "0123", 1, 2},
};
const int kindCount = int(sizeof kinds / sizeof kinds[0]);

} // namespace

bool generateMap(const QString &fileName, int tags, GeneratedMap *info, QString *error,
                 int properties)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QTextStream out(&file);
    out.setCodec("UTF-8");
    const QString version = QStringLiteral("9.99");
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<base version=\"" << version << "\">\n";

    const QString zeroMask(64, QLatin1Char('0'));
    int registers = 0;
    int written = 0;
    for (const char *section : {"ir", "hr"}) {
        const int count = section[0] == 'i' ? tags / 2 : tags - tags / 2;
        out << " <" << section << ">\n";
        int next = 0; // next free register
        int i = 0;
        while (i < count) {
            const int n = written + i;
            // Plain tags leave the mask out (its default is all zeros).
            // A bit-field group of three flags every 25 tags.
            if (n % 25 == 24 && i + 3 <= count) {
                for (int b = 0; b < 3; ++b) {
                    const QString mask = zeroMask.left(63 - b) + QLatin1Char('1') + zeroMask.left(b);
                    out << "  <tag>\n"
                        << "   <information id=\"" << section << "_flag_" << (n + b)
                        << "\" name=\"Status flag " << (n + b) << "\" unit=\"\" description=\"Alarm bit "
                        << b << " of the status word of channel " << (n / 25) << "\"/>\n"
                        << "   <modbussettins bitfield=\"true\" bitfieldend=\"" << (b == 2 ? "true" : "false")
                        << "\" offset=\"0\" datatype=\"uint16\" byteOrderInput=\"10\" byteOrderOutput=\"01\""
                        << " counter=\"1\" mask=\"" << mask << "\" access=\"R\"/>\n"
                        << "   <value default=\"0.0\" min=\"0.0\" max=\"1.0\" precision=\"0\" dampening=\"false\"/>\n"
                        << "   <chart type=\"bool\"/>\n"
                        << "   <typetag type=\"status\" profile=\"false\"/>\n"
                        << "  </tag>\n";
                }
                next += 1;
                registers += 1;
                i += 3;
                continue;
            }
            const Kind &k = kinds[n % kindCount];
            // Every 40th tag starts after a gap, by its explicit offset.
            int offset = 0;
            if (n % 40 == 39) {
                next += 6;
                offset = next;
            }
            out << "  <tag>\n"
                << "   <information id=\"" << section << "_" << n << "\" name=\"Parameter " << n
                << "\" unit=\"kPa\" description=\"Measured value " << n << " of channel " << (n / 25)
                << "\"/>\n"
                << "   <modbussettins bitfield=\"false\" bitfieldend=\"false\" offset=\"" << offset
                << "\" datatype=\"" << k.type << "\" byteOrderInput=\"" << k.orderIn
                << "\" byteOrderOutput=\"" << k.orderOut << "\" counter=\"" << k.counter << "\" access=\"" << (n % 3 ? "R" : "RW") << "\"/>\n"
                << "   <value default=\"0.0\" min=\"" << (k.type[0] == 'u' ? "0.0" : "-100.0")
                << "\" max=\"" << (std::strcmp(k.type, "uint8") == 0 ? "200.0" : "1000.0")
                << "\" precision=\"" << (n % 4)
                << "\" dampening=\"" << (n % 2 ? "true" : "false") << "\"/>\n"
                << "   <chart type=\"plot\"/>\n"
                << "   <typetag type=\"dimension\" profile=\"false\"/>\n";
            if (properties > 0) {
                out << "   <property";
                for (int p = 0; p < properties; ++p)
                    out << " propertyName_" << p << "=\"limit" << p << "\" propertyValue_" << p << "=\""
                        << (n + p) << "\"";
                out << "/>\n";
            }
            out << "  </tag>\n";
            next += k.registers;
            registers += k.registers;
            ++i;
        }
        if (next > 65536) {
            if (error)
                *error = QStringLiteral("map too large for one register table");
            return false;
        }
        written += count;
        out << " </" << section << ">\n";
    }
    out << "</base>\n";
    out.flush();
    if (file.error() != QFile::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (info) {
        info->fileName = fileName;
        info->version = version;
        info->tags = tags;
        info->registers = registers;
        info->bytes = file.size();
    }
    return true;
}

} // namespace Bench
