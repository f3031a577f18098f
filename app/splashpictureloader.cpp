#include "splashpictureloader.h"

#include <system_error>
#include <utility>

SplashPictureLoader::SplashPictureLoader(const QString &fileName)
    : m_fileName(fileName)
{
    try {
        m_thread = std::thread(&SplashPictureLoader::decode, this);
    } catch (const std::system_error &) {
        // No thread: picture() decodes it.
    }
}

SplashPictureLoader::~SplashPictureLoader()
{
    if (m_thread.joinable())
        m_thread.join();
}

void SplashPictureLoader::decode()
{
    QImage image(m_fileName);
    // The raster pixmap keeps a picture with alpha premultiplied and one
    // without in the screen's opaque format; converting here spares the GUI
    // thread that pass over every pixel.
    if (!image.isNull() && image.hasAlphaChannel())
        image = std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_image = std::move(image);
    m_decoded = true;
}

QPixmap SplashPictureLoader::picture()
{
    if (m_thread.joinable())
        m_thread.join();
    if (!m_decoded)
        decode();
    return QPixmap::fromImage(std::move(m_image));
}
