// The window shown instead of the panel while input cannot be posted.

#include "controller/SetupWindow.h"

#include "views/ActionButton.h"
#include "views/ViewHelpers.h"

namespace sumiro {

namespace {

TextLabel* wrapping(const QString& text) {
    // The default label font, wrapped at the window's inner width.
    auto* line = new TextLabel(text);
    line->setWordWrap(true);
    line->setTextInteractionFlags(Qt::NoTextInteraction);
    return line;
}

}  // namespace

SetupWindow::SetupWindow() {
    setObjectName(QStringLiteral("setupWindow"));
    setWindowTitle(tr("Sumiroの初回設定"));
    setFixedSize(500, 340);
    auto* quitButton = new ActionButton(tr("終了"), [this] { emit quit(); });
    auto* open = new ActionButton(tr("システム設定を開く"), [this] { emit openSettings(); });
    open->setObjectName(QStringLiteral("openSettings"));
    // The window's default button: Return presses it.
    open->setFocusPolicy(Qt::StrongFocus);
    open->setDefault(true);
    open->setAutoDefault(true);
    QWidget* buttons = stack({quitButton, new QWidget, open}, Qt::Horizontal, 8);

    auto* note = wrapping(
        tr("一覧にない場合は「＋」から Sumiro を追加してください。許可しても進まない場合は、"
           "アプリを終了して開き直してください。"));
    QFont small = note->font();
    small.setPixelSize(12);
    note->setFont(small);
    note->setForegroundRole(QPalette::PlaceholderText);
    QList<QWidget*> rows = {
        label(tr("文字を入力するための許可"), 23, QFont::DemiBold),
        wrapping(tr("選んだ文字を、ほかのアプリの入力欄に直接入力するために必要です。")),
        wrapping(tr("1. システム設定を開く\n\n2.「アクセシビリティ」で Sumiro "
                    "をオン\n\n3. 許可を確認すると、パッドが自動で開きます")),
        note,
        buttons,
    };
    QWidget* column = stack(rows, Qt::Vertical, 16, StackAlignment::Leading);
    for (qsizetype i = 1; i < rows.size(); ++i) fillAcross(column, rows[i]);
    pin(column, this, 24);
}

void SetupWindow::open() {
    waiting_ = true;
    if (isVisible()) raise();
    show();
    activateWindow();
    if (QWidget* button = findChild<QWidget*>(QStringLiteral("openSettings"))) button->setFocus();
}

void SetupWindow::granted() {
    waiting_ = false;
    hide();
}

}  // namespace sumiro
