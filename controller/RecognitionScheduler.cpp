#include "controller/RecognitionScheduler.h"

#include "controller/PadTexts.h"

namespace sumiro {

RecognitionScheduler::RecognitionScheduler(std::shared_ptr<Scheduler> clock, Worker& queue,
                                           Display display)
    : clock_(std::move(clock)),
      queue_(queue),
      display_(std::move(display)) {}

RecognitionScheduler::~RecognitionScheduler() {
    if (recognitionWork_) *recognitionWork_->cancelled = true;
}

void RecognitionScheduler::request(const Ink& ink, const Recognizer& recognizer) {
    ++generation_;
    if (recognitionWork_) {
        // Not started: never runs. Running: finishes, and its result is dropped.
        *recognitionWork_->cancelled = true;
        recognitionWork_->delay.reset();
    }
    display_.inkCount(texts::strokeCount(static_cast<qsizetype>(ink.size())));
    if (ink.empty()) {
        display_.candidates({});
        setCandidatesCurrent(true);
        display_.status(texts::emptyInk());
        return;
    }
    // Until the ink as it is now is recognized (which it may never be, without data or over
    // the stroke limit), the candidates shown are an earlier ink's.
    setCandidatesCurrent(false);
    if (!recognizer) {
        display_.status(notReady_.isEmpty() ? texts::notReady() : notReady_);
        return;
    }
    if (static_cast<qsizetype>(ink.size()) > kStrokeLimit) {
        display_.status(texts::tooManyStrokes());
        return;
    }
    display_.status(texts::recognizing());

    auto work = std::make_unique<WorkItem>();
    Worker* queue = &queue_;
    std::shared_ptr<Scheduler> clock = clock_;
    std::shared_ptr<std::atomic<bool>> cancelled = work->cancelled;
    clock_->after(kDelay, *work->delay, [=, this, ink = Ink(ink)] {
        queue->submit([=, this] {
            if (*cancelled) return;
            const auto start = clock->now();
            auto result = recognizer(ink);
            // Not cancelled on the main thread means this scheduler is still there.
            queue->toMain([=, this, result = std::move(result)] {
                if (!*cancelled) handBack(result, start);
            });
        });
    });
    recognitionWork_ = std::move(work);
}

void RecognitionScheduler::handBack(const std::vector<std::string>& result,
                                    Scheduler::Clock::time_point start) {
    const CandidateDisplay shown = showCandidates(result, clock_->now() - start);
    display_.candidates(shown.characters);
    setCandidatesCurrent(true);
    display_.status(shown.status);
}

void RecognitionScheduler::setCandidatesCurrent(bool current) const {
    if (display_.candidatesCurrent) display_.candidatesCurrent(current);
}

}  // namespace sumiro
