#include "session/linethread.h"

#include "crypto/pbkdf2.h"

#include <QThread>

LineThread::LineThread() : thread(QThread::create([this] { run(); }))
{
    thread->start();
}

LineThread::~LineThread()
{
    finish();
}

void LineThread::post(Task task)
{
    std::lock_guard<std::mutex> guard(lock);
    if (finishing)
        return;
    tasks.push_back(std::move(task));
    queued.notify_one();
}

void LineThread::finish()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        finishing = true;
        queued.notify_one();
    }
    thread->wait();
}

bool LineThread::isCurrent() const
{
    return QThread::currentThread() == thread.get();
}

// The OpenSSL state of the tasks' logins goes with the thread's last task,
// before the thread is joined.
void LineThread::run()
{
    while (const Task task = next())
        task();
    releaseCryptoThreadState();
}

LineThread::Task LineThread::next()
{
    std::unique_lock<std::mutex> guard(lock);
    queued.wait(guard, [this] { return finishing || !tasks.empty(); });
    if (tasks.empty())
        return Task();
    Task task = std::move(tasks.front());
    tasks.pop_front();
    return task;
}
