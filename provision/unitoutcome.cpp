#include "provision/unitoutcome.h"

namespace
{

struct FailureRow {
    Failure failure;
    const char *key;
    int status;
};

constexpr FailureRow FAILURES[] = {
    {Failure::None, "", ExitStatus::OK},
    {Failure::Timeout, "timeout", ExitStatus::FAILED},
    {Failure::NoPort, "no-port", ExitStatus::NO_MODULE},
    {Failure::LoginRefused, "login-refused", ExitStatus::LOGIN},
    {Failure::AccountLocked, "account-locked", ExitStatus::LOGIN},
    {Failure::ForcedPasswordChange, "forced-password-change", ExitStatus::LOGIN},
    {Failure::Checksum, "checksum", ExitStatus::FAILED},
    {Failure::ModuleError, "module-error", ExitStatus::FAILED},
    {Failure::RefusedInput, "refused-input", ExitStatus::USAGE},
    {Failure::DigestMismatch, "digest-mismatch", ExitStatus::FAILED},
    {Failure::VerifyMismatch, "verify-mismatch", ExitStatus::FAILED},
    {Failure::PoolEmpty, "pool-empty", ExitStatus::POOL},
    {Failure::PoolUnavailable, "pool-unavailable", ExitStatus::POOL},
    {Failure::Cancelled, "cancelled", ExitStatus::INTERRUPTED},
    {Failure::PortLost, "port-lost", ExitStatus::NO_MODULE},
};

const FailureRow &rowOf(Failure failure)
{
    for (const FailureRow &row : FAILURES) {
        if (row.failure == failure)
            return row;
    }
    return FAILURES[0];
}

} // namespace

QString failureKey(Failure failure)
{
    return QString::fromLatin1(rowOf(failure).key);
}

int PortOutcome::exitStatus() const
{
    if (failure == Failure::Timeout && !moduleAnswered)
        return ExitStatus::NO_MODULE;
    return rowOf(failure).status;
}

QJsonObject resultFields(const PortOutcome &outcome)
{
    QJsonObject fields = outcome.data;
    fields.insert(QStringLiteral("ok"), outcome.ok());
    if (!outcome.ok())
        fields.insert(QStringLiteral("error"), failureKey(outcome.failure));
    if (outcome.code >= 0)
        fields.insert(QStringLiteral("code"), outcome.code);
    if (!outcome.message.isEmpty())
        fields.insert(QStringLiteral("message"), outcome.message);
    return fields;
}
