#pragma once

// A thread of its own for a module's line. The tasks posted to it run one
// after another, in the order posted, each to its end; a serial port opened
// by a task belongs to this thread, so the line waits here and never on the
// caller's thread. Used by the device page (one task per sequence) and by
// the station (one task per slot).

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

class LineThread
{
public:
    using Task = std::function<void()>;

    LineThread();
    // Runs the tasks posted so far, then joins the thread.
    ~LineThread();
    LineThread(const LineThread &) = delete;
    LineThread &operator=(const LineThread &) = delete;

    // Queues `task` behind the ones posted before it; returns at once.
    // Ignored once finish() was called.
    void post(Task task);
    // Takes no more tasks, runs the queued ones, and joins the thread.
    void finish();
    // True on the thread the tasks run on.
    bool isCurrent() const;

private:
    void run();
    // The next task; empty once finished and nothing is queued.
    Task next();

    std::mutex lock;
    std::condition_variable queued;
    std::deque<Task> tasks;
    bool finishing = false;
    std::unique_ptr<QThread> thread;
};
