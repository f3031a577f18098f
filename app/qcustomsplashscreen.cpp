#include "qcustomsplashscreen.h"

#include <QApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTextEdit>
#include <QVBoxLayout>

QCustomSplashScreen::QCustomSplashScreen(const QPixmap &pixmap, Qt::WindowFlags flags)
    : QSplashScreen(pixmap, flags)
{
    build();
}

// Kept for callers that place the splash relative to a widget; the base
// constructor for that is deprecated in favour of a screen.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
QCustomSplashScreen::QCustomSplashScreen(QWidget *parent, const QPixmap &pixmap, Qt::WindowFlags flags)
    : QSplashScreen(parent, pixmap, flags)
{
    build();
}
QT_WARNING_POP

void QCustomSplashScreen::build()
{
    m_companyLabel = new QLabel(this);
    m_companyLabel->setObjectName(QStringLiteral("companyLabel"));
    m_webLabel = new QLabel(this);
    m_webLabel->setObjectName(QStringLiteral("webLabel"));
    m_versionLabel = new QLabel(this);
    m_versionLabel->setObjectName(QStringLiteral("versionLabel"));
    m_dateLabel = new QLabel(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yy HH:mm:ss")), this);
    m_dateLabel->setObjectName(QStringLiteral("dateLabel"));
    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setValue(0);
    m_progressBar->setAlignment(Qt::AlignCenter);
    m_messageView = new QTextEdit(this);
    m_messageView->setObjectName(QStringLiteral("messageView"));

    // The picture shows through the message view.
    QPalette palette = m_messageView->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, QPalette::Base, QBrush(QColor(255, 255, 255, 0)));
    m_messageView->setPalette(palette);

    auto top = new QHBoxLayout;
    top->addWidget(m_companyLabel, 0, Qt::AlignCenter);
    top->addWidget(m_dateLabel, 0, Qt::AlignCenter);
    auto messages = new QHBoxLayout;
    messages->addWidget(m_messageView, 0);
    auto progress = new QHBoxLayout;
    progress->addWidget(m_progressBar, 0);
    auto bottom = new QHBoxLayout;
    bottom->addWidget(m_webLabel, 0, Qt::AlignCenter);
    bottom->addWidget(m_versionLabel, 0, Qt::AlignCenter);

    auto column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addLayout(messages);
    column->addLayout(progress);
    column->addLayout(bottom);
}

void QCustomSplashScreen::colorLabel(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setBrush(group, label->backgroundRole(), QBrush(color));
        palette.setBrush(group, label->foregroundRole(), QBrush(color));
    }
    label->setPalette(palette);
}

void QCustomSplashScreen::setCompanyText(const QString &text) { m_companyLabel->setText(text); }
void QCustomSplashScreen::setWebText(const QString &text) { m_webLabel->setText(text); }
void QCustomSplashScreen::setVersionText(const QString &text) { m_versionLabel->setText(text); }

void QCustomSplashScreen::setCompanyColor(const QColor &color) { colorLabel(m_companyLabel, color); }
void QCustomSplashScreen::setWebColor(const QColor &color) { colorLabel(m_webLabel, color); }
void QCustomSplashScreen::setVersionColor(const QColor &color) { colorLabel(m_versionLabel, color); }
void QCustomSplashScreen::setDateColor(const QColor &color) { colorLabel(m_dateLabel, color); }

void QCustomSplashScreen::setCompanyFont(const QFont &font) { m_companyLabel->setFont(font); }
void QCustomSplashScreen::setWebFont(const QFont &font) { m_webLabel->setFont(font); }
void QCustomSplashScreen::setVersionFont(const QFont &font) { m_versionLabel->setFont(font); }
void QCustomSplashScreen::setDateFont(const QFont &font) { m_dateLabel->setFont(font); }

void QCustomSplashScreen::setMessageFont(const QFont &font) { m_messageView->setFont(font); }
void QCustomSplashScreen::setMessageColor(const QColor &color) { m_messageView->setTextColor(color); }

void QCustomSplashScreen::appendMessage(const QString &text)
{
    m_messageView->insertPlainText(text);
    QApplication::processEvents();
}

void QCustomSplashScreen::setProgress(int value)
{
    m_progressBar->setValue(value);
    QApplication::processEvents();
}
