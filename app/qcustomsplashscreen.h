#pragma once

#include <QSplashScreen>

QT_BEGIN_NAMESPACE
class QLabel;
class QProgressBar;
class QTextEdit;
QT_END_NAMESPACE

// The start-up picture with company, web, version and date labels, a
// progress bar and a see-through message view over it. Updates process
// pending events once so that it repaints while the main thread is busy.
class QCustomSplashScreen : public QSplashScreen
{
    Q_OBJECT

public:
    explicit QCustomSplashScreen(const QPixmap &pixmap = QPixmap(), Qt::WindowFlags flags = {});
    QCustomSplashScreen(QWidget *parent, const QPixmap &pixmap = QPixmap(), Qt::WindowFlags flags = {});

    void setCompanyText(const QString &text);
    void setWebText(const QString &text);
    void setVersionText(const QString &text);

    void setCompanyColor(const QColor &color);
    void setWebColor(const QColor &color);
    void setVersionColor(const QColor &color);
    void setDateColor(const QColor &color);

    void setCompanyFont(const QFont &font);
    void setWebFont(const QFont &font);
    void setVersionFont(const QFont &font);
    void setDateFont(const QFont &font);

    void setMessageFont(const QFont &font);
    void setMessageColor(const QColor &color);

    void appendMessage(const QString &text);
    void setProgress(int value);

private:
    void build();
    static void colorLabel(QLabel *label, const QColor &color);

    QLabel *m_companyLabel = nullptr;
    QLabel *m_webLabel = nullptr;
    QLabel *m_versionLabel = nullptr;
    QLabel *m_dateLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QTextEdit *m_messageView = nullptr;
};
