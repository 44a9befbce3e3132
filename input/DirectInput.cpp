#include "input/DirectInput.h"

#include <QPointer>

#include "input/UnicodeText.h"

namespace sumiro {
namespace {

// The status line's messages, translated when they are shown.
QString noPermission() {
    return DirectInput::tr("初回設定：『入力を許可』からアクセシビリティを有効にしてください");
}
QString noTarget() {
    return DirectInput::tr("先に入力先のアプリで、文字を入れる場所をクリックしてください");
}
QString switched() {
    return DirectInput::tr("入力先が切り替わりました。入力欄を選び直してください");
}
QString noEvents() { return DirectInput::tr("入力イベントを作成できませんでした"); }
QString noRoute() {
    return DirectInput::tr(
        "文字を届けられる入力先がありません。入力メソッド（fcitx5 か IBus）を起動するか、X11 "
        "のアプリで入力欄を選んでください");
}
QString noField() {
    return DirectInput::tr("入力先のアプリで、文字を入れる場所をクリックしてください");
}
QString padFocused() {
    return DirectInput::tr(
        "パッドの入力欄には送りません。入力先のアプリで入力欄をクリックしてください");
}

}  // namespace

DirectInput::DirectInput() : DirectInput(systemInputPlatform()) {}

DirectInput::DirectInput(std::shared_ptr<InputPlatform> platform,
                         std::shared_ptr<Scheduler> scheduler)
    : platform_(std::move(platform)), scheduler_(std::move(scheduler)) {
    remember(platform_->frontmost());
    observer_ = platform_->watchActivations(
        [this](const std::optional<Application>& app) { remember(app); });
}

DirectInput::~DirectInput() = default;

std::optional<QString> DirectInput::targetName() const {
    if (!target_) return std::nullopt;
    return platform_->name(*target_);
}

bool DirectInput::targetRunning() const { return target_ && platform_->isAlive(*target_); }

void DirectInput::remember(const std::optional<Application>& app) {
    if (!app) return;
    if (app->pid > 0 && app->pid == platform_->ownProcess()) return;
    if (!platform_->isRegular(*app)) return;
    target_ = *app;
    emit changed();
}

bool DirectInput::trusted() const { return platform_->permitted(); }

void DirectInput::allow() { platform_->openPermissionHelp(); }

void DirectInput::send(const QString& text) {
    if (text.isEmpty()) return;
    const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()),
                                    static_cast<std::size_t>(text.size()));
    post(Text{scalarsFromUtf16(units), text}, Key{});
}

void DirectInput::sendUtf8(std::string_view text) {
    if (text.empty()) return;
    auto scalars = scalarsFromUtf8(text);
    QString shown =
        scalars ? QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())) : QString();
    post(Text{std::move(scalars), std::move(shown)}, Key{});
}

void DirectInput::key(Key key) { post(std::nullopt, key); }

void DirectInput::activateTarget() {
    if (targetRunning()) platform_->activate(*target_);
}

void DirectInput::post(std::optional<Text> text, Key key) {
    if (!platform_->permitted()) {
        report(platform_->reachesAnything() ? noPermission() : noRoute());
        return;
    }
    if (!target_ || !platform_->isAlive(*target_)) {
        report(platform_->reachesAnything() ? noTarget() : noRoute());
        return;
    }
    // A text that cannot become key events fails before the target is disturbed.
    if (text && !text->scalars) {
        report(noEvents());
        return;
    }
    Delivery delivery{*target_, platform_->name(*target_), std::move(text), key};
    emit prepareInput();
    if (platform_->typesIntoFocus()) {
        // An input method types into the field that holds the input focus. While the target
        // holds it, raising the target means nothing and there is nothing to wait for: the
        // typing follows at once. Otherwise (the pad's own search field has it) the target is
        // raised and waited for as below, so that nothing is committed to the pad's field.
        const auto front = platform_->frontmost();
        if (front && front->sameAs(delivery.app)) {
            finish(delivery);
            return;
        }
    }
    platform_->activate(delivery.app);
    scheduler_->after(deliveryDelay, *this,
                      [this, delivery = std::move(delivery)] { finish(delivery); });
}

void DirectInput::finish(Delivery delivery) {
    const auto front = platform_->frontmost();
    if (!front || !front->sameAs(delivery.app)) {
        const bool pad = front && front->pid > 0 && front->pid == platform_->ownProcess();
        // The pad has asked for the target to come to the front; the desktop, or the input
        // method following its focus, may take longer than the delay, most of all on a busy
        // machine. Another application in front means the user went there: that is final.
        if (pad && ++delivery.checks < activationChecks) {
            scheduler_->after(deliveryDelay, *this,
                              [this, delivery = std::move(delivery)] { finish(delivery); });
            return;
        }
        report(pad && platform_->typesIntoFocus() ? padFocused() : switched());
        return;
    }
    std::optional<std::u32string> scalars;
    if (delivery.text) scalars = *delivery.text->scalars;
    platform_->deliver(
        std::move(scalars), delivery.key,
        // The platform may answer later, when this object may be gone.
        [self = QPointer<DirectInput>(this), delivery](const InputPlatform::Delivered& delivered) {
            if (self) self->report(outcomeMessage(delivery, delivered));
        });
}

QString DirectInput::outcomeMessage(const Delivery& delivery,
                                    const InputPlatform::Delivered& delivered) {
    using Outcome = InputPlatform::Outcome;
    const auto& text = delivery.text;
    const QString what = text ? tr("「%1」").arg(text->shown) : tr("キー");
    const QString route = QString::fromStdString(delivered.route);
    switch (delivered.outcome) {
        case Outcome::Typed: {
            const auto& name = delivery.name;
            const QString target = name && !name->isEmpty() ? *name : tr("入力先");
            // Which way in typed it: the input method, or synthetic key events.
            if (route.isEmpty()) return tr("%1へ%2を送信").arg(target, what);
            return tr("%1へ%2を送信（%3）").arg(target, what, route);
        }
        case Outcome::NoField:
            return tr("%1を送れませんでした。%2").arg(what, noField());
        case Outcome::PadFocused:
            return padFocused();
        case Outcome::NoAnswer:
            return tr("入力メソッド（%1）が応答しません。%2が入力されたかどうかは分かりません")
                .arg(route, what);
        case Outcome::Failed:
            break;
    }
    return noEvents();
}

void DirectInput::report(const QString& message) { emit status(message); }

}  // namespace sumiro
