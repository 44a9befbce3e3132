#include "controller/RecognitionScheduler.h"

#include "controller/PadTexts.h"

namespace sumiro {

RecognitionScheduler::RecognitionScheduler(std::shared_ptr<Scheduler> clock, Worker& queue,
                                           Display display)
    : clock_(std::move(clock)),
      queue_(queue),
      display_(std::move(display)),
      self_(std::make_shared<RecognitionScheduler*>(this)) {}

RecognitionScheduler::~RecognitionScheduler() {
    if (recognitionWork_) *recognitionWork_->cancelled = true;
}

void RecognitionScheduler::request(const Ink& ink, const Recognizer& recognizer) {
    const std::int64_t generation = ++generation_;
    if (recognitionWork_) {
        // Not started: never runs. Running: finishes, and the generation drops its result.
        *recognitionWork_->cancelled = true;
        recognitionWork_->delay.reset();
    }
    display_.inkCount(texts::strokeCount(static_cast<qsizetype>(ink.size())));
    if (ink.empty()) {
        display_.candidates({});
        display_.status(texts::kEmptyInk);
        return;
    }
    if (!recognizer) {
        display_.status(texts::kNotReady);
        return;
    }
    if (static_cast<qsizetype>(ink.size()) > kStrokeLimit) {
        display_.status(texts::kTooManyStrokes);
        return;
    }
    display_.status(texts::kRecognizing);

    auto work = std::make_shared<WorkItem>();
    std::weak_ptr<RecognitionScheduler*> weakSelf = self_;
    Worker* queue = &queue_;
    std::shared_ptr<Scheduler> clock = clock_;
    std::shared_ptr<std::atomic<bool>> cancelled = work->cancelled;
    work->delay = clock_->after(kDelay, [=, ink = Ink(ink)] {
        queue->submit([=] {
            if (*cancelled) return;
            const auto start = clock->now();
            auto result = recognizer(ink);
            queue->toMain([=, result = std::move(result)] {
                if (const auto self = weakSelf.lock()) (*self)->handBack(generation, result, start);
            });
        });
    });
    recognitionWork_ = std::move(work);
}

void RecognitionScheduler::handBack(std::int64_t generation, const std::vector<std::string>& result,
                                    Scheduler::Clock::time_point start) {
    if (generation != generation_) return;  // a newer request was made since
    const CandidateDisplay shown = showCandidates(result, clock_->now() - start);
    display_.candidates(shown.characters);
    display_.status(shown.status);
}

}  // namespace sumiro
