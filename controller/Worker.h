#pragma once

#include <QObject>
#include <QThread>
#include <functional>
#include <memory>

namespace sumiro {

/// Runs jobs one at a time, in the order given, away from the main thread, and hands their
/// results back to it.
class Worker {
public:
    virtual ~Worker() = default;
    /// Queues `job` behind the jobs already given.
    virtual void submit(std::function<void()> job) = 0;
    /// Runs `work` on the main thread soon; callable from the worker's jobs.
    virtual void toMain(std::function<void()> work) = 0;
};

/// One thread of its own, named `name`, with an event loop that runs the jobs.
class SerialWorker final : public Worker {
public:
    explicit SerialWorker(const QString& name);
    /// Waits for the running job, drops the queued ones.
    ~SerialWorker() override;
    void submit(std::function<void()> job) override;
    void toMain(std::function<void()> work) override;

private:
    QThread thread_;
    QObject* inThread_;  // lives in thread_, deleted when it finishes
    QObject onMain_;     // hand-backs are dropped once this is gone
};

}  // namespace sumiro
