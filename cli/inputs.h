#pragma once

// Everything kbmaint reads and checks before a byte goes to a module: the
// password files, the recipe, the firmware file, the SSID, the MAC
// addresses, the log directory. Any fault refuses the run (exit 2).

#include "cli/options.h"
#include "provision/planinputs.h"
#include "provision/unitjob.h"

#include <QCoreApplication>
#include <QString>

class InputCheck : public PlanInputs
{
    Q_DECLARE_TR_FUNCTIONS(InputCheck)

public:
    // Builds the plan of a module command; false with the reason.
    static bool preparePlan(const CliOptions &options, UnitPlan *plan, QString *problem);
};
