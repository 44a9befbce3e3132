#include "input/DirectInput.h"

#include <QPointer>
#include <QTimer>

#include "input/UnicodeText.h"

namespace sumiro {
namespace {

const QString noPermission =
    QStringLiteral("初回設定：『入力を許可』からアクセシビリティを有効にしてください");
const QString noTarget =
    QStringLiteral("先に入力先のアプリで、文字を入れる場所をクリックしてください");
const QString switched = QStringLiteral("入力先が切り替わりました。入力欄を選び直してください");
const QString noEvents = QStringLiteral("入力イベントを作成できませんでした");

}  // namespace

DirectInput::Scheduler DirectInput::mainLoopScheduler() {
    return [](std::chrono::duration<double> delay, QObject& context, std::function<void()> work) {
        QTimer::singleShot(std::chrono::round<std::chrono::milliseconds>(delay), Qt::PreciseTimer,
                           &context, std::move(work));
    };
}

DirectInput::DirectInput() : DirectInput(systemInputPlatform()) {}

DirectInput::DirectInput(std::shared_ptr<InputPlatform> platform, Scheduler scheduler)
    : platform_(std::move(platform)), schedule_(std::move(scheduler)) {
    remember(platform_->frontmost());
    observer_ = platform_->watchActivations(
        [self = this, alive = QPointer<QObject>(&lifetime_)](std::optional<Application> app) {
            if (alive) self->remember(app);
        });
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
    if (changed) changed();
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

void DirectInput::post(std::optional<Text> text, Key key) {
    if (!platform_->permitted()) {
        report(noPermission);
        return;
    }
    if (!target_ || !platform_->isAlive(*target_)) {
        report(noTarget);
        return;
    }
    // A text that cannot become key events fails before the target is disturbed.
    if (text && !text->scalars) {
        report(noEvents);
        return;
    }
    const Application app = *target_;
    const std::optional<QString> name = platform_->name(app);
    if (prepareInput) prepareInput();
    platform_->activate(app);
    schedule_(deliveryDelay, lifetime_,
              [self = this, alive = QPointer<QObject>(&lifetime_), app, name,
               text = std::move(text), key] {
                  if (!alive) return;
                  const auto front = self->platform_->frontmost();
                  if (!front || !front->sameAs(app)) {
                      self->report(switched);
                      return;
                  }
                  const bool posted = text ? self->platform_->postText(*text->scalars)
                                           : self->platform_->postKey(key);
                  if (!posted) {
                      self->report(noEvents);
                      return;
                  }
                  QString message = name && !name->isEmpty() ? *name : QStringLiteral("入力先");
                  message += QStringLiteral("へ");
                  message += text ? QStringLiteral("「") + text->shown + QStringLiteral("」")
                                  : QStringLiteral("キー");
                  message += QStringLiteral("を送信");
                  self->report(message);
              });
}

void DirectInput::report(const QString& message) const {
    if (status) status(message);
}

}  // namespace sumiro
