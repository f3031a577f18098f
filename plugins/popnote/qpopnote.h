#pragma once

#include "popnote_global.h"

#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
QT_END_NAMESPACE

namespace Popnote {

// One on-screen notification: a title and a text on a rounded panel whose
// colour tells the kind. A click on it emits clicked().
class POPNOTE_EXPORT QPopnote : public QWidget
{
    Q_OBJECT

public:
    explicit QPopnote(QWidget *parent = nullptr);
    ~QPopnote() override;

    void setTitle(const QString &title);
    QString title() const;
    void setBodyText(const QString &text);
    QString bodyText() const;

    // 0 information, 1 not found / no change, 2 error; picks the colour.
    void setType(int type);
    int type() const { return m_type; }
    QColor backgroundColor() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QLabel *m_title = nullptr;
    QLabel *m_body = nullptr;
    int m_type = 0;
};

} // namespace Popnote
