#include "controller/Worker.h"

namespace sumiro {

SerialWorker::SerialWorker(const QString& name) : inThread_(new QObject) {
    thread_.setObjectName(name);  // also the system's name of the thread
    inThread_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, inThread_, &QObject::deleteLater);
    thread_.start();
}

SerialWorker::~SerialWorker() {
    thread_.quit();
    thread_.wait();
}

void SerialWorker::submit(std::function<void()> job) {
    QMetaObject::invokeMethod(inThread_, std::move(job), Qt::QueuedConnection);
}

void SerialWorker::toMain(std::function<void()> work) {
    QMetaObject::invokeMethod(&onMain_, std::move(work), Qt::QueuedConnection);
}

}  // namespace sumiro
