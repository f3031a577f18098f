#pragma once

#include <QString>

namespace Bench {

// Writes a register map of `tags` tags split over the input and holding
// register sections: mixed data types and byte orders, runs of contiguous
// tags, bit-field groups sharing a register, and gaps made by explicit
// offsets. About 410 bytes a tag, so 10,000 tags make a 4 MB file.
struct GeneratedMap
{
    QString fileName;
    QString version;
    int tags = 0;
    int registers = 0; // registers spanned by all tags, both tables
    qint64 bytes = 0;
};

// With `properties` above 0 every plain tag also carries that many dynamic
// properties in one `property` element.
bool generateMap(const QString &fileName, int tags, GeneratedMap *info, QString *error,
                 int properties = 0);

} // namespace Bench
