#pragma once

// The device page's line: the debug port and the session engine over it
// live on a LineThread of their own. The page hands it steps; each runs
// there to its end, in the order handed, and its result comes back to the
// page on the GUI thread, after the engine's events of that step. Nothing
// here waits on the GUI thread.

#include "session/blockingseriallink.h"
#include "session/linethread.h"
#include "session/modulesession.h"
#include "session/postedobserver.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class DeviceLine
{
public:
    // `page` receives the results and, through `events`, the engine's
    // events; `cancel` ends a running transfer step. All three must outlive
    // the line.
    DeviceLine(QObject *page, SessionObserver *events, const CancelFlag *cancel);
    // Runs the steps handed so far, closes the port, joins the thread.
    ~DeviceLine();

    // Opens `portName` at the module's line settings; `shown(ok)` follows on
    // the page's thread. A port already open is closed first.
    template <typename Shown> void open(const QString &portName, Shown shown)
    {
        runOnLine([this, portName] { return openPort(portName); }, std::move(shown));
    }
    // Closes the port once the steps handed before have ended.
    void close();

    // Runs `step(session)` on the line's thread; `shown(result)` follows on
    // the page's thread. A step on a closed port times out at once.
    template <typename Step, typename Shown> void run(Step step, Shown shown)
    {
        runOnLine([this, step = std::move(step)]() mutable { return step(*session); },
                  std::move(shown));
    }
    // Runs `step(session)` on the line's thread; nothing comes back.
    template <typename Step> void send(Step step)
    {
        post([this, step = std::move(step)]() mutable { step(*session); });
    }
    // Waits on the line for the module's end signal of a transfer left
    // running; `shown(signal)` follows, 0 when the next thing handed to the
    // line or the port's loss ended the wait first.
    template <typename Shown> void awaitEndSignal(Shown shown)
    {
        const unsigned self = posts.load() + 1; // this post's number
        runOnLine([this, self] { return awaitEnd(self); }, std::move(shown));
    }

private:
    template <typename Work, typename Shown> void runOnLine(Work work, Shown shown)
    {
        post([page = page, work = std::move(work), shown = std::move(shown)]() mutable {
            auto result = work();
            QMetaObject::invokeMethod(
                page, [shown = std::move(shown), result]() mutable { shown(result); },
                Qt::QueuedConnection);
        });
    }
    // Queues `task`; anything queued ends a wait for an end signal.
    void post(LineThread::Task task);
    // The wait of awaitEndSignal(), posted as number `self`.
    char awaitEnd(unsigned self);
    bool openPort(const QString &portName);

    QObject *page;
    PostedObserver observer;
    const CancelFlag *cancel;
    CancelFlag nextStep;                      // set whenever something is queued
    std::atomic<unsigned> posts{0};           // the things queued so far
    std::unique_ptr<BlockingSerialLink> link; // made and used on the line's thread
    std::unique_ptr<ModuleSession> session;   // idem
    LineThread thread;                        // last: joined before the rest goes
};
