#include "app/helppage.h"

#include "ui_helppage.h"

#include <QFile>

namespace
{
const char HELP_FILE_NAME[] = "help.html";

// The file is UTF-8; anything after a NUL byte is not part of the text.
QString decodeUpToNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}
} // namespace

help::help(QWidget *parent) : QWidget(parent), ui(new Ui::help)
{
    ui->setupUi(this);
    ui->textBrowser->setOpenExternalLinks(true);
    loadHelpFile();
}

help::~help()
{
    delete ui;
}

void help::loadHelpFile()
{
    QFile file(QString::fromLatin1(HELP_FILE_NAME));
    // Without the file the page stays empty; it is documentation, not data.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    ui->textBrowser->setHtml(decodeUpToNul(file.readAll()));
}
