#include "testsupport/FakeWorker.h"

namespace sumiro {

bool FakeWorker::runNext() {
    if (jobs_.empty()) return false;
    auto job = std::move(jobs_.front());
    jobs_.pop_front();
    job();
    return true;
}

int FakeWorker::deliver() {
    int delivered = 0;
    while (!handBacks_.empty()) {
        auto work = std::move(handBacks_.front());
        handBacks_.pop_front();
        work();
        ++delivered;
    }
    return delivered;
}

}  // namespace sumiro
