#pragma once

// How the outcome of one exchange becomes a port's failure: the failure key
// and the human text, one row per operation.

#include "app/kbmaint_outcome.h"
#include "protocol/modulesession.h"

#include <QCoreApplication>
#include <QString>

enum class Operation {
    Login,
    ChangeLogin,
    ReadVersions,
    ReadUart,
    ReadWifi,
    ReadFe,
    WriteSsid,
    WriteWifiPassword,
    WriteWifiMac,
    WriteFeMac,
};

class StepTexts
{
    Q_DECLARE_TR_FUNCTIONS(StepTexts)

public:
    // The failure an unsuccessful step result stands for, with its text.
    static Failure failureOf(const StepResult &result);
    static QString message(Operation operation, const StepResult &result);
    // The module's error code as a person reads it ("设备故障！").
    static QString errorCodeText(quint8 code);
    // The read that failed in a refresh.
    static Operation readOperation(SessionRequest request);
};
