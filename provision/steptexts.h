#pragma once

// How the outcome of one exchange becomes a unit's failure: the failure key
// and the human text, one row per session request.

#include "provision/unitoutcome.h"
#include "session/modulesession.h"

#include <QCoreApplication>
#include <QString>

class StepTexts
{
    Q_DECLARE_TR_FUNCTIONS(StepTexts)

public:
    // The failure an unsuccessful step result stands for, with its text.
    static Failure failureOf(const StepResult &result);
    static QString message(SessionRequest request, const StepResult &result);
    // The module's error code as a person reads it ("设备故障！").
    static QString errorCodeText(quint8 code);
    // The text of a port that went away during a step or a transfer.
    static QString portLostText();
};
