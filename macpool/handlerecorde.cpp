#include "macpool/handlerecorde.h"

#include <QLabel>
#include <QVBoxLayout>

HandleRecorde::HandleRecorde(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *notice = new QLabel(tr("MAC地址池管理将在后续版本中提供。"), this);
    notice->setAlignment(Qt::AlignCenter);
    layout->addWidget(notice);
}
