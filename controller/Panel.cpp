// The pad panel: its attributes, rows, lines and wiring, and the mode switch.

#include <QPointer>

#include "controller/AppDelegate.h"
#include "controller/PadTexts.h"
#include "controller/PanelFrame.h"

namespace sumiro {

void AppDelegate::buildPanel() {
    panel = std::make_unique<PadPanel>();
    panel->setObjectName(QStringLiteral("panel"));
    panel->setWindowTitle(QStringLiteral("Sumiro"));
    panel->setMinimumSize(kPanelMinimumSize);
    restoreFrame();
    panel->installEventFilter(this);
    auto* content = panel.get();
    QPointer<AppDelegate> self(this);

    mode = new SegmentedControl({QStringLiteral("手書き"), QStringLiteral("文字一覧"),
                                 QStringLiteral("総画数"), QStringLiteral("部首"),
                                 QStringLiteral("ソフトキーボード")});
    mode->setObjectName(QStringLiteral("mode"));
    mode->action = [self] {
        if (self) self->changeMode();
    };
    mode->setSelectedSegment(0);

    permissionButton = new ActionButton(QStringLiteral("入力を許可…"), [self] {
        if (self) self->requestAndOpen();
    });
    permissionButton->setObjectName(QStringLiteral("permissionButton"));

    targetLabel->setObjectName(QStringLiteral("targetLabel"));
    targetLabel->setSizePolicy(QSizePolicy::Preferred, targetLabel->sizePolicy().verticalPolicy());
    headerRow = stack({targetLabel, new QWidget, permissionButton}, Qt::Horizontal, 8,
                      StackAlignment::Center, StackDistribution::Fill);
    headerRow->setObjectName(QStringLiteral("headerRow"));

    auto* helpButton = new ActionButton(QStringLiteral("使い方"), [self] {
        if (self) self->help();
    });
    helpButton->setObjectName(QStringLiteral("helpButton"));
    QWidget* modeRow = stack({mode, new QWidget, helpButton}, Qt::Horizontal, 8);

    handwriting = makeHandwriting();
    browsing = makeBrowsing();
    keyboard = makeKeyboard();
    body->setObjectName(QStringLiteral("body"));
    for (QWidget* view : {handwriting, browsing, keyboard}) pin(view, body, 0);
    browsing->hide();
    keyboard->hide();

    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    detailLabel->setObjectName(QStringLiteral("detailLabel"));
    for (TextLabel* line : {statusLabel, detailLabel}) {
        line->setForegroundRole(QPalette::PlaceholderText);
        line->setTruncatesTail(true);
    }

    const QList<QWidget*> rows = {headerRow, modeRow, body, detailLabel, statusLabel};
    QWidget* column = stack(rows, Qt::Vertical, 10, StackAlignment::Leading);
    for (QWidget* row : rows) fillAcross(column, row);
    body->setMinimumHeight(320);
    body->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    pin(column, content, 14);

    candidates->setObjectName(QStringLiteral("candidates"));
    browseGrid->setObjectName(QStringLiteral("browseGrid"));
    for (CharacterGrid* grid : {candidates, browseGrid}) {
        grid->clicked = [self](const QString& character) {
            if (self) self->choose(character);
        };
        grid->hovered = [self](const QString& character) {
            if (self) self->showDetail(character);
        };
    }
    ink->setObjectName(QStringLiteral("ink"));
    ink->changed = [self] {
        if (self) self->recognize();
    };
}

void AppDelegate::changeMode() {
    const ModeViews shown = modeViews(mode ? mode->selectedSegment() : -1);
    if (handwriting) handwriting->setVisible(shown.handwriting);
    if (browsing) browsing->setVisible(shown.browsing);
    if (keyboard) keyboard->setVisible(shown.keyboard);
    detailLabel->setText(texts::kModeDetail);
    refreshBrowse();
}

}  // namespace sumiro
