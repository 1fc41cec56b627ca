// Device page: ending a transfer and the connection when the tool exits.
#include "ui/device/sigledebug.h"

#include "ui_sigledebug.h"

// The technician's own cancel: the stop exchange runs nested in this call.
void SigleDebug::abortTransfer()
{
    if (ui->pushButton_start->isChecked())
        ui->pushButton_start->click();
    else if (ui->pushButton_getLog->isChecked())
        ui->pushButton_getLog->click();
}

// The technician's own "关闭".
void SigleDebug::closePort()
{
    if (ui->pushButton_Connect_2->isChecked())
        ui->pushButton_Connect_2->click();
}
