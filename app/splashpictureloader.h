#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

#include <thread>

// Decodes the splash picture on a thread of its own while the main thread
// opens the settings, the log and the translations. Only the decoding moves
// there: a QImage may be made on any thread, a QPixmap only on the GUI
// thread, so picture() turns the decoded image into the pixmap there. The
// image is already in the format the pixmap keeps, so that step copies
// nothing. Without a thread the picture is decoded by picture() itself.
// Start it once the application object exists: image reading looks up
// format plug-ins in the application's library paths.
class SplashPictureLoader
{
public:
    explicit SplashPictureLoader(const QString &fileName);
    ~SplashPictureLoader();
    SplashPictureLoader(const SplashPictureLoader &) = delete;
    SplashPictureLoader &operator=(const SplashPictureLoader &) = delete;

    // Waits for the decoding; a null pixmap when the file cannot be read.
    // Call it once, on the GUI thread.
    QPixmap picture();

private:
    void decode();

    QString m_fileName;
    QImage m_image;
    bool m_decoded = false;
    std::thread m_thread;
};
