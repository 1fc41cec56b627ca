#include "provision/claimsettlement.h"

ClaimSettlement settlementOf(const StepResult &written)
{
    switch (written.outcome) {
    case StepOutcome::Done:
        return ClaimSettlement::Confirm;
    case StepOutcome::ErrorReply: // a clear no from the module
    case StepOutcome::Refused:    // nothing was sent
        return ClaimSettlement::Release;
    default:
        return ClaimSettlement::Quarantine;
    }
}
