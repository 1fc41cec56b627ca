#include "session/postedobserver.h"

void PostedObserver::readRepeated(SessionRequest request, int repeat)
{
    post([t = target, request, repeat] { t->readRepeated(request, repeat); });
}

void PostedObserver::credentialFellBack(SessionRequest request, quint8 code)
{
    post([t = target, request, code] { t->credentialFellBack(request, code); });
}

void PostedObserver::blockSent(int index, int count, int resend, qint64 bytesAcknowledged)
{
    post([=, t = target] { t->blockSent(index, count, resend, bytesAcknowledged); });
}

void PostedObserver::imageSent(qint64 bytes)
{
    post([t = target, bytes] { t->imageSent(bytes); });
}

void PostedObserver::logPassEmpty()
{
    post([t = target] { t->logPassEmpty(); });
}

void PostedObserver::logBlockRefused(int failures)
{
    post([t = target, failures] { t->logBlockRefused(failures); });
}

void PostedObserver::logBlockWritten(qint64 written, qint64 progress)
{
    post([t = target, written, progress] { t->logBlockWritten(written, progress); });
}
