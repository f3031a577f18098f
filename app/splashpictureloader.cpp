#include "splashpictureloader.h"

#include <QFile>
#include <QResource>
#include <QtEndian>

#include <system_error>
#include <utility>

namespace {

const char Magic[4] = {'K', 'S', 'P', 'R'};
constexpr int HeaderSize = 8;
constexpr int RunSize = 8;
constexpr int MaxSide = 4096;

} // namespace

SplashPictureLoader::SplashPictureLoader(const QString &runsFile, const QString &pngFile)
    : m_runsFile(runsFile)
    , m_pngFile(pngFile)
{
    try {
        m_thread = std::thread(&SplashPictureLoader::read, this);
    } catch (const std::system_error &) {
        // No thread: picture() reads the runs.
    }
}

SplashPictureLoader::~SplashPictureLoader()
{
    if (m_thread.joinable())
        m_thread.join();
}

void SplashPictureLoader::read()
{
    // Compiled in uncompressed, so that the runs are read where they lie.
    const QResource resource(m_runsFile);
    if (resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression)
        m_image = decodeRuns(QByteArray::fromRawData(reinterpret_cast<const char *>(resource.data()),
                                                     int(resource.size())));
    else if (QFile file(m_runsFile); file.open(QIODevice::ReadOnly))
        m_image = decodeRuns(file.readAll());
    m_read = true;
}

QPixmap SplashPictureLoader::picture()
{
    if (m_thread.joinable())
        m_thread.join();
    if (!m_read)
        read();
    // The PNG needs the application object: image reading looks up format
    // plug-ins in the application's library paths.
    if (m_image.isNull())
        return QPixmap(m_pngFile);
    return QPixmap::fromImage(std::move(m_image));
}

QImage SplashPictureLoader::decodeRuns(const QByteArray &runs)
{
    if (runs.size() < HeaderSize || !runs.startsWith(QByteArray::fromRawData(Magic, sizeof Magic)))
        return QImage();
    const auto *data = reinterpret_cast<const uchar *>(runs.constData());
    const int width = qFromLittleEndian<quint16>(data + 4);
    const int height = qFromLittleEndian<quint16>(data + 6);
    if (width < 1 || height < 1 || width > MaxSide || height > MaxSide || (runs.size() - HeaderSize) % RunSize)
        return QImage();
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return QImage();
    // Runs may cross rows; the image's rows are contiguous only when no
    // padding ends them, which 32-bit pixels guarantee.
    auto *out = reinterpret_cast<quint32 *>(image.bits());
    const quint64 total = quint64(width) * quint64(height);
    quint64 done = 0;
    for (int at = HeaderSize; at < runs.size(); at += RunSize) {
        const quint32 count = qFromLittleEndian<quint32>(data + at);
        const quint32 pixel = qFromLittleEndian<quint32>(data + at + 4);
        if (count == 0 || count > total - done)
            return QImage();
        std::fill_n(out + done, count, pixel);
        done += count;
    }
    return done == total ? image : QImage();
}

QByteArray SplashPictureLoader::encodeRuns(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || image.width() > MaxSide || image.height() > MaxSide)
        return QByteArray();
    QByteArray runs(Magic, sizeof Magic);
    uchar size[4];
    qToLittleEndian<quint16>(quint16(image.width()), size);
    qToLittleEndian<quint16>(quint16(image.height()), size + 2);
    runs.append(reinterpret_cast<const char *>(size), sizeof size);
    const auto append = [&runs](quint32 count, quint32 pixel) {
        uchar run[RunSize];
        qToLittleEndian<quint32>(count, run);
        qToLittleEndian<quint32>(pixel, run + 4);
        runs.append(reinterpret_cast<const char *>(run), RunSize);
    };
    quint32 count = 0;
    quint32 pixel = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (count > 0 && line[x] == pixel) {
                ++count;
                continue;
            }
            if (count > 0)
                append(count, pixel);
            pixel = line[x];
            count = 1;
        }
    }
    append(count, pixel);
    return runs;
}
