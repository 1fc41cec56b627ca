#pragma once

// Hands the events of a session that runs on a line's thread to an observer
// on the thread of `context` (the GUI thread). Each event is posted and
// delivered there in the order raised, before anything posted after it; an
// event still queued when `context` is destroyed is dropped. `context` must
// outlive the line's thread.

#include "session/modulesession.h"

#include <QObject>

class PostedObserver : public SessionObserver
{
public:
    PostedObserver(QObject *context, SessionObserver *target) : context(context), target(target) {}

    void readRepeated(SessionRequest request, int repeat) override;
    void credentialFellBack(SessionRequest request, quint8 code) override;
    void blockSent(int index, int count, int resend, qint64 bytesAcknowledged) override;
    void imageSent(qint64 bytes) override;
    void logPassEmpty() override;
    void logBlockRefused(int failures) override;
    void logBlockWritten(qint64 written, qint64 progress) override;

private:
    template <typename Event> void post(Event event)
    {
        QMetaObject::invokeMethod(context, std::move(event), Qt::QueuedConnection);
    }

    QObject *context;
    SessionObserver *target;
};
