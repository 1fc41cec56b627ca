// Device page: ending a transfer and the connection when the tool exits.
#include "ui/device/sigledebug.h"

#include "ui_sigledebug.h"

// The running step ends at its next wait and the stop exchange follows it on
// the line; both run even when the page goes away first, as the line runs
// what it was handed before it closes.
void SigleDebug::abortTransfer()
{
    if (!transferRunning())
        return;
    transferCancel.cancel();
    if (ui->pushButton_start->isChecked())
        cancelUpgrade();
    else
        stopLogUpload();
}

// The technician's own "关闭".
void SigleDebug::closePort()
{
    if (ui->pushButton_Connect_2->isChecked())
        ui->pushButton_Connect_2->click();
}
