// Device page: ending a transfer and the connection when the tool exits.
#include "ui/device/sigledebug.h"

#include "ui/device/sigledebug_link.h"
#include "ui_sigledebug.h"

// The stop exchange runs in this call, nested in the running step's wait if
// there is one, after the unit under way on the line; that step then ends at
// its wait without a second stop (its button is unchecked once the module
// confirmed the stop, or by the close that follows).
void SigleDebug::abortTransfer()
{
    if (!transferRunning())
        return;
    transferCancel.cancel();
    link->wake();
    if (runsTransferStep())
        session->settleLine();
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
