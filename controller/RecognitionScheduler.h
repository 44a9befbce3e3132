#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controller/Worker.h"
#include "engine/Ink.h"
#include "input/Scheduler.h"

namespace sumiro {

/// Decides when the ink is recognized and whether a result is still wanted: every request
/// counts a generation, cancels the pending recognition and schedules a new one after a short
/// pause; a result is shown only if no request came after its own (nor the scheduler went).
/// Main thread only, except the recognizer, which runs on the worker.
class RecognitionScheduler {
public:
    /// The pause after the last change before a recognition starts.
    static constexpr Scheduler::Duration kDelay{0.18};
    /// Inks with more strokes are refused.
    static constexpr qsizetype kStrokeLimit = 64;
    /// Candidates asked of the recognizer.
    static constexpr std::ptrdiff_t kCandidateLimit = 56;

    /// Ranks candidates for an ink, best first; runs on the worker.
    using Recognizer = std::function<std::vector<std::string>(const Ink&)>;

    /// Where requests and results are shown.
    struct Display {
        std::function<void(const QString&)> inkCount;
        std::function<void(const QString&)> status;
        std::function<void(const QStringList&)> candidates;
        /// Whether the candidates shown are those of the ink as it is now; those of an earlier
        /// ink stay in view but cannot be picked (a quick click would type what was not drawn).
        std::function<void(bool)> candidatesCurrent;
    };

    RecognitionScheduler(std::shared_ptr<Scheduler> clock, Worker& queue, Display display);
    /// Results arriving afterwards are dropped.
    ~RecognitionScheduler();
    RecognitionScheduler(const RecognitionScheduler&) = delete;
    RecognitionScheduler& operator=(const RecognitionScheduler&) = delete;

    /// Requests a recognition of `ink`; an empty `recognizer` means the data are not loaded yet.
    /// The checks come in this order: an empty ink, missing data, too many strokes.
    void request(const Ink& ink, const Recognizer& recognizer);

    /// The data will never be loaded: a request without a recognizer shows `reason` instead of
    /// asking the user to wait.
    void setDataUnavailable(const QString& reason) { notReady_ = reason; }

    /// The number of the latest request.
    std::int64_t generation() const { return generation_; }
    /// Whether a recognition was ever scheduled.
    bool hasScheduled() const { return recognitionWork_ != nullptr; }

private:
    struct WorkItem {
        // Set once a later request came or the scheduler went: the job and its hand-back, which
        // may outlive the item, look at it before anything else.
        std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
        // The pause's context: gone, the pause never ends.
        std::unique_ptr<QObject> delay = std::make_unique<QObject>();
    };
    void handBack(const std::vector<std::string>& result, Scheduler::Clock::time_point start);
    void setCandidatesCurrent(bool current) const;

    std::shared_ptr<Scheduler> clock_;
    Worker& queue_;
    Display display_;
    QString notReady_;
    std::int64_t generation_ = 0;
    std::unique_ptr<WorkItem> recognitionWork_;
};

}  // namespace sumiro
