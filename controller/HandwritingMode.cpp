// The handwriting mode: the canvas, the candidates and the recognition request.

#include "controller/HandwritingMode.h"

#include "controller/KeyStrip.h"
#include "controller/PadTexts.h"
#include "engine/CharacterDatabase.h"
#include "views/ActionButton.h"
#include "views/CharacterGrid.h"
#include "views/GridScrollView.h"
#include "views/InkView.h"
#include "views/ViewHelpers.h"

namespace sumiro {

HandwritingMode::HandwritingMode(std::shared_ptr<Scheduler> clock, Worker& worker)
    : ink_(new InkView),
      candidates_(new CharacterGrid),
      inkCount_(label(texts::strokeCount(0), 12)),
      recognition_(
          std::move(clock), worker,
          {.inkCount = [this](const QString& text) { inkCount_->setText(text); },
           .status = [this](const QString& text) { emit status(text); },
           .candidates = [this](const QStringList& list) { candidates_->setCharacters(list); },
           .candidatesCurrent = [this](bool current) { candidates_->setEnabled(current); }}) {
    setObjectName(QStringLiteral("handwriting"));
    // The views are this mode's children: their callbacks never outlive it.
    ink_->setObjectName(QStringLiteral("ink"));
    ink_->changed = [this] { recognize(); };
    candidates_->setObjectName(QStringLiteral("candidates"));
    candidates_->clicked = [this](const QString& character) { emit picked(character); };
    candidates_->hovered = [this](const QString& character) { emit hovered(character); };

    auto* undo = new ActionButton(tr("一画戻す"), [this] { undoStroke(); });
    auto* erase = new ActionButton(tr("消去"), [this] { ink_->clear(); });
    auto* again = new ActionButton(tr("認識"), [this] { recognize(); });
    undo->setObjectName(QStringLiteral("undoStroke"));
    erase->setObjectName(QStringLiteral("clearInk"));
    again->setObjectName(QStringLiteral("recognize"));
    inkCount_->setObjectName(QStringLiteral("inkCount"));
    QWidget* tools = stack({undo, erase, again, inkCount_}, Qt::Horizontal, 5);

    ink_->setFixedSize(266, 266);
    QWidget* left = stack({label(tr("手書き"), 13, QFont::Bold), ink_, tools}, Qt::Vertical, 8,
                          StackAlignment::Leading);
    left->setFixedWidth(266);

    QWidget* scroll = gridScroll(candidates_);
    QWidget* right = stack({label(tr("候補をクリックして入力"), 13, QFont::Bold), scroll},
                           Qt::Vertical, 8, StackAlignment::Leading);
    fillAcross(right, scroll);
    scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    QWidget* strip = makeKeyStrip([this](Key key) { emit keyPressed(key); });
    QWidget* row = stack({left, right, strip}, Qt::Horizontal, 12, StackAlignment::Top);
    // The right column takes the whole height and all the width the canvas and strip leave.
    fillAcross(row, right);
    right->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    pin(row, this);
}

void HandwritingMode::setDatabase(std::shared_ptr<const CharacterDatabase> database) {
    database_ = std::move(database);
}

void HandwritingMode::undoStroke() { ink_->undoStroke(); }

void HandwritingMode::recognize() {
    RecognitionScheduler::Recognizer recognizer;
    if (database_) {
        // The canvas gives points in its unit square, the area the ink is written in.
        recognizer = [data = database_](const Ink& strokes) {
            return data->recognize(strokes, RecognitionScheduler::kCandidateLimit,
                                   WritingArea{1.0, 1.0});
        };
    }
    recognition_.request(ink_->strokes(), recognizer);
}

}  // namespace sumiro
