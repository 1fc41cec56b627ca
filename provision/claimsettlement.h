#pragma once

// What becomes of a claimed MAC address once its write has been tried: the
// one rule for every front end that writes pool addresses to a module.

#include "session/modulesession.h"

enum class ClaimSettlement {
    Confirm,    // the module accepted it: the address is used
    Release,    // the module refused it, or it never went out: back to the pool
    Quarantine, // it went out and no clear answer came back: the module may hold it
};

ClaimSettlement settlementOf(const StepResult &written);
