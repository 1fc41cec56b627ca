#include "ui/device/deviceline.h"

DeviceLine::DeviceLine(QObject *page, SessionObserver *events, const CancelFlag *cancel)
    : page(page), observer(page, events), cancel(cancel)
{
    // The port's object belongs to the thread that made it.
    post([this] {
        link = std::make_unique<BlockingSerialLink>();
        session = std::make_unique<ModuleSession>(link.get(), &observer, this->cancel);
    });
}

DeviceLine::~DeviceLine()
{
    post([this] {
        session.reset();
        link.reset();
    });
    thread.finish();
}

void DeviceLine::close()
{
    post([this] { link->close(); });
}

void DeviceLine::post(LineThread::Task task)
{
    ++posts;
    nextStep.cancel();
    thread.post(std::move(task));
}

// Cleared first, then the count is looked at: a post after that look sets
// the flag again, one before it is seen in the count.
char DeviceLine::awaitEnd(unsigned self)
{
    nextStep.reset();
    if (posts.load() != self)
        return 0;
    return session->awaitEndSignal(nextStep);
}

bool DeviceLine::openPort(const QString &portName)
{
    link->close();
    QString problem;
    return link->open(portName, &problem);
}
