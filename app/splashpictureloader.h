#pragma once

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QString>

#include <thread>

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
    // Starts reading the runs on a thread of its own (without a thread,
    // picture() reads them). It needs no application object, so it can
    // start first thing; filling the picture's 1.5 MB then costs the main
    // thread neither the work nor the page faults.
    SplashPictureLoader(const QString &runsFile, const QString &pngFile);
    ~SplashPictureLoader();
    SplashPictureLoader(const SplashPictureLoader &) = delete;
    SplashPictureLoader &operator=(const SplashPictureLoader &) = delete;

    // The picture from the runs; from the PNG when the runs are missing or
    // malformed; a null pixmap when neither can be read. Call it once, on
    // the GUI thread.
    QPixmap picture();

    // The image the runs describe; a null image for anything malformed.
    static QImage decodeRuns(const QByteArray &runs);
    // The runs of `image` (any format; stored premultiplied).
    static QByteArray encodeRuns(const QImage &image);

private:
    void read();

    QString m_runsFile;
    QString m_pngFile;
    QImage m_image;
    bool m_read = false;
    std::thread m_thread;
};
