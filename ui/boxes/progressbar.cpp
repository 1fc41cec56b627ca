#include "ui/boxes/progressbar.h"
#include "ui_progressbar.h"

#include <QHideEvent>

namespace
{
const QSize kCompactSize(400, 40);
const QSize kErrorSize(400, 150);
} // namespace

Progressbar::Progressbar(const QString &title, QWidget *parent)
    : QDialog(parent), ui(new Ui::progressbar)
{
    ui->setupUi(this);
    ui->progressBar->setRange(0, 100);
    ui->label->hide();
    setWindowTitle(title);
    resize(kCompactSize);
}

Progressbar::~Progressbar()
{
    delete ui;
}

void Progressbar::onSetValue(int value)
{
    ui->progressBar->setValue(value);
}

void Progressbar::onSetError(QString msg)
{
    resize(kErrorSize);
    ui->label->show();
    ui->label->setText(QStringLiteral("<span style=\"color:#ff0000;\">%1</span> ").arg(msg));
}

void Progressbar::onSetRange(int min, int max)
{
    ui->progressBar->setRange(min, max);
}

// Every way of closing (close(), the title bar, Escape, accept or reject)
// ends in a hide, so the reset lives here; a minimise (spontaneous) keeps the
// dialog as it is.
void Progressbar::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous())
        makeCompact();
    QDialog::hideEvent(event);
}

void Progressbar::makeCompact()
{
    ui->label->hide();
    layout()->activate(); // drop the label's share of the minimum height now
    resize(kCompactSize);
}
