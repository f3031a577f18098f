#include "infotagbasedialog.h"

#include "infotagbase.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace Pointbook {

InfoTagBaseDialog::InfoTagBaseDialog(BaseTag *base, QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    setWindowTitle(tr("Information Base"));
    if (!base)
        return;

    m_infoTagBase = new InfoTagBase(this);
    m_infoTagBase->setObjectName(QStringLiteral("infoTagBase"));
    m_infoTagBase->setBase(base);
    m_exitButton = new QPushButton(tr("Exit"), this);
    m_exitButton->setObjectName(QStringLiteral("pushButtonExit"));
    connect(m_exitButton, &QPushButton::clicked, this, &QDialog::close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_infoTagBase);
    layout->addWidget(m_exitButton);

    // Large enough for all six columns at once, within the screen.
    QSize size(960, 640);
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    resize(size);
}

} // namespace Pointbook
