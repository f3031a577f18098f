#pragma once

#include "pointbook_global.h"

#include <QDialog>

QT_BEGIN_NAMESPACE
class QPushButton;
QT_END_NAMESPACE

namespace Pointbook {

class BaseTag;
class InfoTagBase;

// The information view of a tag collection in a dialog with an Exit button.
class POINTBOOK_EXPORT InfoTagBaseDialog : public QDialog
{
    Q_OBJECT

public:
    // Without a collection the dialog stays empty.
    explicit InfoTagBaseDialog(BaseTag *base, QWidget *parent = nullptr,
                               Qt::WindowFlags flags = Qt::WindowFlags());

    InfoTagBase *infoTagBase() const { return m_infoTagBase; }
    QPushButton *exitButton() const { return m_exitButton; }

private:
    InfoTagBase *m_infoTagBase = nullptr;
    QPushButton *m_exitButton = nullptr;
};

} // namespace Pointbook
