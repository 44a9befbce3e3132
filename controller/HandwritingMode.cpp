// The handwriting view and the recognition request.

#include <QPointer>

#include "controller/AppDelegate.h"
#include "views/GridScrollView.h"

namespace sumiro {

QWidget* AppDelegate::makeHandwriting() {
    QPointer<AppDelegate> self(this);
    auto* undo = new ActionButton(QStringLiteral("一画戻す"), [self] {
        if (self) self->ink->undoStroke();
    });
    auto* erase = new ActionButton(QStringLiteral("消去"), [self] {
        if (self) self->ink->clear();
    });
    auto* again = new ActionButton(QStringLiteral("認識"), [self] {
        if (self) self->recognize();
    });
    undo->setObjectName(QStringLiteral("undoStroke"));
    erase->setObjectName(QStringLiteral("clearInk"));
    again->setObjectName(QStringLiteral("recognize"));
    inkCount->setObjectName(QStringLiteral("inkCount"));
    QWidget* tools = stack({undo, erase, again, inkCount}, Qt::Horizontal, 5);

    ink->setFixedSize(266, 266);
    QWidget* left = stack({label(QStringLiteral("手書き"), 13, QFont::Bold), ink, tools},
                          Qt::Vertical, 8, StackAlignment::Leading);
    left->setFixedWidth(266);

    QWidget* scroll = gridScroll(candidates);
    QWidget* right =
        stack({label(QStringLiteral("候補をクリックして入力"), 13, QFont::Bold), scroll},
              Qt::Vertical, 8, StackAlignment::Leading);
    fillAcross(right, scroll);
    scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    QWidget* strip = makeKeyStrip();
    QWidget* root = stack({left, right, strip}, Qt::Horizontal, 12, StackAlignment::Top);
    // The right column takes the whole height and all the width the canvas and strip leave.
    fillAcross(root, right);
    right->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    root->setObjectName(QStringLiteral("handwriting"));
    return root;
}

void AppDelegate::recognize() {
    RecognitionScheduler::Recognizer recognizer;
    if (database) {
        // The canvas gives points in its unit square, the area the ink is written in.
        recognizer = [data = database](const Ink& strokes) {
            return data->recognize(strokes, RecognitionScheduler::kCandidateLimit,
                                   WritingArea{1.0, 1.0});
        };
    }
    recognition.request(ink->strokes(), recognizer);
}

}  // namespace sumiro
