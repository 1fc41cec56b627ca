#include "ui/device/filechoice.h"

#include <QCoreApplication>
#include <QFileDialog>

namespace
{

std::function<QString(FileChoice::Kind)> &chooserOverride()
{
    static std::function<QString(FileChoice::Kind)> chooser;
    return chooser;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("SigleDebug", text);
}

} // namespace

QString FileChoice::chooseFirmwareFile(QWidget *parent)
{
    if (chooserOverride())
        return chooserOverride()(Kind::FirmwareFile);
    return QFileDialog::getOpenFileName(parent, tr("选择文件"), QStringLiteral("."),
                                        QStringLiteral("*.*"));
}

QString FileChoice::chooseLogDirectory(QWidget *parent)
{
    if (chooserOverride())
        return chooserOverride()(Kind::LogDirectory);
    return QFileDialog::getExistingDirectory(parent, tr("选择保存目录"), QString(),
                                             QFileDialog::ShowDirsOnly);
}

void FileChoice::setOverride(std::function<QString(Kind)> chooser)
{
    chooserOverride() = std::move(chooser);
}
