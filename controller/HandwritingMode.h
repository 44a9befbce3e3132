#pragma once

#include <memory>

#include "controller/PadMode.h"
#include "controller/RecognitionScheduler.h"

namespace sumiro {

class CharacterGrid;
class InkView;
class TextLabel;

/// "手書き": one character drawn with the mouse on the canvas ("ink"), recognized a moment after
/// each change, and its candidates ("candidates") picked with a click; beside them the tools
/// "一画戻す", "消去", "認識", the stroke count ("inkCount") and the key strip.
class HandwritingMode final : public PadMode {
    Q_OBJECT

public:
    /// Recognitions wait on `clock` and run on `worker`.
    HandwritingMode(std::shared_ptr<Scheduler> clock, Worker& worker);

    void setDatabase(std::shared_ptr<const CharacterDatabase> database) override;
    /// The data could not be loaded, for `reason`, which drawing shows rather than a wait.
    void dataFailed(const QString& reason) { recognition_.setDataUnavailable(reason); }
    /// Takes back the last stroke (also Ctrl+Z, whichever mode is shown).
    void undoStroke();

private:
    /// Requests a recognition of the ink as it is now.
    void recognize();

    std::shared_ptr<const CharacterDatabase> database_;
    InkView* ink_;
    CharacterGrid* candidates_;
    TextLabel* inkCount_;
    RecognitionScheduler recognition_;
};

}  // namespace sumiro
