#pragma once

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QString>

// The splash picture, ready to paint. It ships twice in the resource tree:
// as the PNG, and as runs of premultiplied pixels made from that PNG when
// the program is built. Decoding the PNG costs some 10 ms of every start
// (inflating 1.5 MB, a look through the image format plug-ins, then
// premultiplying every pixel), before anything can be shown; the runs
// decode in a fraction of a millisecond into the very same pixels.
//
// The runs: "KSPR", width and height (16 bits each), then runs of a 32-bit
// count and a 32-bit premultiplied ARGB pixel, all little-endian, whose
// counts add up to width x height.
class SplashPictureLoader
{
public:
    SplashPictureLoader() = delete;

    // The picture from the runs file; from the PNG when the runs are missing
    // or malformed; a null pixmap when neither can be read. GUI thread only.
    static QPixmap picture(const QString &runsFile, const QString &pngFile);

    // The image the runs describe; a null image for anything malformed.
    static QImage decodeRuns(const QByteArray &runs);
    // The runs of `image` (any format; stored premultiplied).
    static QByteArray encodeRuns(const QImage &image);
};
