// The window shown instead of the panel while nothing can be typed.

#include "controller/SetupWindow.h"

#include <QEvent>
#include <QTimer>
#include <algorithm>

#include "views/ActionButton.h"
#include "views/ViewHelpers.h"

namespace sumiro {

namespace {

constexpr int kWidth = 500;
constexpr int kLeastHeight = 340;

TextLabel* wrapping(const QString& text) {
    // The default label font, wrapped at the window's inner width.
    auto* line = new TextLabel(text);
    line->setWordWrap(true);
    line->setTextFormat(Qt::PlainText);
    line->setTextInteractionFlags(Qt::NoTextInteraction);
    return line;
}

}  // namespace

QString SetupWindow::steps(InputPlatform::Obstacle obstacle) {
    const QString inputMethod = tr(
        "1. 入力メソッドを起動する：端末で fcitx5 -d（Sumiro のアドオンを入れて）、"
        "または ibus-daemon -drx");
    switch (obstacle) {
        case InputPlatform::Obstacle::NoXTest:
            return tr(
                       "この X サーバーには XTEST 拡張がなく、入力メソッドも動いていないため、"
                       "文字を送れません。次のどちらかを行ってください。\n\n") +
                   inputMethod +
                   tr(
                       "\n\n2. X サーバーの XTEST を有効にする：Xorg は設定ファイルの "
                       "Option \"XTEST\" \"Disable\" を消して起動し直す。Xvfb や Xvnc は "
                       "+extension XTEST を付けて起動する");
        case InputPlatform::Obstacle::NoDisplay:
            return tr(
                       "X11 のディスプレイに接続できず、入力メソッドも動いていないため、"
                       "文字を送れません。次のどちらかを行ってください。\n\n") +
                   inputMethod +
                   tr(
                       "\n\n2. X11 のセッションか Xwayland のある Wayland のセッションで、"
                       "環境変数 DISPLAY のある端末から Sumiro を起動し直す");
        case InputPlatform::Obstacle::WaylandWithoutInputMethod:
            return tr(
                "Wayland のセッションで入力メソッドが動いていないため、文字を送れません。"
                "次のどちらかを行ってください。\n\n"
                "1. 入力メソッドを起動する：端末で fcitx5 -d（Sumiro のアドオンを入れて）。"
                "GNOME では ibus-daemon -drx、KDE Plasma では「システム設定」の"
                "「仮想キーボード」で Fcitx 5 を選ぶ\n\n"
                "2. ログイン画面で X11 のセッション（「GNOME on Xorg」「Plasma (X11)」など）を"
                "選んでログインし直す");
    }
    return {};
}

SetupWindow::SetupWindow() : steps_(wrapping(QString())) {
    setObjectName(QStringLiteral("setupWindow"));
    setWindowTitle(tr("Sumiroの初回設定"));
    // Titled and closable only: no minimize or maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    auto* quitButton = new ActionButton(tr("終了"), [this] { emit quit(); });
    auto* open = new ActionButton(tr("使い方を開く"), [this] { emit openSettings(); });
    open->setObjectName(QStringLiteral("openSettings"));
    // The window's default button: Return presses it.
    open->setFocusPolicy(Qt::StrongFocus);
    open->setDefault(true);
    open->setAutoDefault(true);
    QWidget* buttons = stack({quitButton, new QWidget, open}, Qt::Horizontal, 8);

    auto* note = wrapping(tr(
        "入力メソッドが動き出すと、パッドが自動で開きます。X サーバーやセッションを変えたときは、"
        "Sumiro を起動し直してください。詳しくは使い方のページの「文字が入力される仕組み」に"
        "あります。"));
    QFont small = note->font();
    small.setPixelSize(12);
    note->setFont(small);
    note->setForegroundRole(QPalette::PlaceholderText);
    steps_->setObjectName(QStringLiteral("setupSteps"));
    QList<QWidget*> rows = {
        label(tr("文字を入力するための準備"), 23, QFont::DemiBold),
        wrapping(
            tr("選んだ文字を、ほかのアプリの入力欄に直接入力するために必要です。")),
        steps_,
        note,
        buttons,
    };
    QWidget* column = stack(rows, Qt::Vertical, 16, StackAlignment::Leading);
    for (qsizetype i = 1; i < rows.size(); ++i) fillAcross(column, rows[i]);
    pin(column, this, 24);
}

void SetupWindow::open(InputPlatform::Obstacle obstacle) {
    waiting_ = true;
    steps_->setText(steps(obstacle));
    // As tall as the steps need, never less than its usual height.
    setFixedSize(kWidth, std::max(kLeastHeight, heightForWidth(kWidth)));
    if (isVisible()) raise();
    show();
    activateWindow();
    if (QWidget* button = findChild<QWidget*>(QStringLiteral("openSettings"))) button->setFocus();
}

void SetupWindow::granted() {
    waiting_ = false;
    hide();
}

void SetupWindow::changeEvent(QEvent* event) {
    // Window managers that offer minimizing whatever the window asks get it undone.
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) showNormal();
        });
    }
    QWidget::changeEvent(event);
}

}  // namespace sumiro
