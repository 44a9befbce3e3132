#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QTest>

#include "input/DirectInput.h"
#include "input/fake/FakePlatform.h"

namespace sumiro {
namespace {

// Holds scheduled work until the test lets time pass, honouring the weak context like QTimer.
struct ManualScheduler {
    struct Task {
        std::chrono::duration<double> delay;
        QPointer<QObject> context;
        std::function<void()> work;
    };
    std::vector<Task> tasks;

    DirectInput::Scheduler scheduler() {
        return [this](std::chrono::duration<double> delay, QObject& context,
                      std::function<void()> work) {
            tasks.push_back({delay, &context, std::move(work)});
        };
    }
    void elapse() {
        for (auto& task : std::exchange(tasks, {})) {
            if (task.context) task.work();
        }
    }
};

class DirectInputTest : public ::testing::Test {
protected:
    std::shared_ptr<FakePlatform> fake = std::make_shared<FakePlatform>();
    ManualScheduler clock;
    Application editor = fake->add({{7, 100}, QStringLiteral("Editor")});
    Application terminal = fake->add({{8, 200}, QStringLiteral("Terminal")});
    Application pad = fake->add({{9, fake->ownPid}, QStringLiteral("Sumiro")});
    Application dock = fake->add({{10, 300}, QStringLiteral("Dock"), false});
    std::vector<QString> messages;
    int changes = 0;

    std::unique_ptr<DirectInput> make() {
        auto input = std::make_unique<DirectInput>(fake, clock.scheduler());
        input->status = [this](const QString& message) { messages.push_back(message); };
        input->changed = [this] { ++changes; };
        input->prepareInput = [this] { fake->log.emplace_back("prepare"); };
        return input;
    }
    std::unique_ptr<DirectInput> makeWithTarget(const Application& app) {
        fake->front = app;
        return make();
    }
};

TEST_F(DirectInputTest, ConstructionTakesTheFrontApplicationOnlyWhenOrdinary) {
    fake->front = editor;
    EXPECT_EQ(make()->target(), editor);
    for (const auto& front :
         {std::optional<Application>{}, std::optional(pad), std::optional(dock)}) {
        fake->front = front;
        EXPECT_FALSE(make()->target().has_value());
    }
    EXPECT_EQ(changes, 0);
}

TEST_F(DirectInputTest, ActivationsOfThePadAndOfNonOrdinaryWindowsLeaveTheTarget) {
    auto input = makeWithTarget(editor);
    fake->userActivates(pad);
    fake->userActivates(dock);
    input->remember(std::nullopt);
    EXPECT_EQ(input->target(), editor);
    EXPECT_EQ(changes, 0);

    fake->userActivates(terminal);
    EXPECT_EQ(input->target(), terminal);
    fake->userActivates(terminal);
    EXPECT_EQ(changes, 2) << "the same application again is accepted again";
    EXPECT_EQ(input->targetName(), QStringLiteral("Terminal"));
}

TEST_F(DirectInputTest, DeliveryPreparesActivatesThenPostsAfterTheDelay) {
    auto input = makeWithTarget(editor);
    fake->expectText(U"木");
    input->send(QStringLiteral("木"));

    EXPECT_EQ(fake->log, (std::vector<std::string>{"prepare", "activate 7"}));
    ASSERT_EQ(clock.tasks.size(), 1u);
    EXPECT_EQ(clock.tasks[0].delay.count(), 0.1);
    EXPECT_TRUE(messages.empty()) << "nothing is reported before the delay";

    clock.elapse();
    EXPECT_EQ(fake->log.back(), textEntry(U"木"));
    EXPECT_EQ(messages, std::vector{QStringLiteral("Editorへ「木」を送信")});
}

TEST_F(DirectInputTest, SuccessMessagesNameTheTargetOrFallBack) {
    const auto nameless = fake->add({{11, 400}, std::nullopt});
    const auto blank = fake->add({{12, 500}, QString()});
    auto input = makeWithTarget(editor);
    fake->expectKey(Key::BackSpace);
    input->key(Key::BackSpace);
    clock.elapse();

    for (const auto& app : {nameless, blank}) {
        fake->userActivates(app);
        fake->expectText(U"𠮷");
        fake->expectKey(Key::Return);
        input->send(QStringLiteral("𠮷"));
        input->key(Key::Return);
        clock.elapse();
    }
    EXPECT_EQ(
        messages,
        (std::vector{QStringLiteral("Editorへキーを送信"), QStringLiteral("入力先へ「𠮷」を送信"),
                     QStringLiteral("入力先へキーを送信"), QStringLiteral("入力先へ「𠮷」を送信"),
                     QStringLiteral("入力先へキーを送信")}));
}

TEST_F(DirectInputTest, MissingPermissionStopsBeforeAnythingHappens) {
    fake->allowed = false;
    auto input = makeWithTarget(editor);
    EXPECT_FALSE(input->trusted());
    input->send(QStringLiteral("木"));
    input->key(Key::Left);
    EXPECT_TRUE(fake->log.empty()) << "no prepareInput, no activation";
    EXPECT_TRUE(clock.tasks.empty());
    const QString expected =
        QStringLiteral("初回設定：『入力を許可』からアクセシビリティを有効にしてください");
    EXPECT_EQ(messages, (std::vector{expected, expected}));

    fake->allowed = true;
    EXPECT_TRUE(input->trusted()) << "asked anew on every read";
    input->allow();
    EXPECT_EQ(fake->helpOpened, 1);
}

TEST_F(DirectInputTest, NoTargetOrAQuitTargetAsksForAClickFirst) {
    const QString expected =
        QStringLiteral("先に入力先のアプリで、文字を入れる場所をクリックしてください");
    auto input = make();
    input->send(QStringLiteral("木"));
    fake->userActivates(editor);
    fake->quit(editor);
    EXPECT_FALSE(input->targetRunning());
    input->key(Key::Return);
    EXPECT_EQ(messages, (std::vector{expected, expected}));
    EXPECT_TRUE(fake->log.empty());
    EXPECT_EQ(input->target(), editor) << "a quit target stays until another is accepted";
}

TEST_F(DirectInputTest, TargetNotInFrontAfterTheDelayPostsNothing) {
    const QString expected = QStringLiteral("入力先が切り替わりました。入力欄を選び直してください");
    auto input = makeWithTarget(editor);

    input->send(QStringLiteral("木"));
    fake->userActivates(terminal);  // the user switched within the 0.1 s
    clock.elapse();

    fake->userActivates(editor);
    fake->activationWorks = false;  // the target did not come to the front at all
    fake->front.reset();
    input->send(QStringLiteral("木"));
    clock.elapse();

    // Windows without a pid are told apart by their window alone.
    const auto first = fake->add({{20, 0}, QStringLiteral("A")});
    const auto second = fake->add({{21, 0}, QStringLiteral("B")});
    fake->userActivates(first);
    fake->front = second;
    input->key(Key::Space);
    clock.elapse();

    EXPECT_EQ(messages, (std::vector{expected, expected, expected}));
}

TEST_F(DirectInputTest, TextsThatCannotBecomeEventsPostNothing) {
    auto input = makeWithTarget(editor);
    const QChar lone[] = {QChar(u'木'), QChar(char16_t{0xD842})};
    input->send(QString(lone, 2));
    input->sendUtf8("\xE6\x9C");      // truncated 木
    input->sendUtf8("\xED\xA0\x80");  // an encoded surrogate
    input->send(QString());
    input->sendUtf8("");
    EXPECT_TRUE(fake->log.empty()) << "the target is not even activated";
    EXPECT_TRUE(clock.tasks.empty());

    fake->postsWork = false;  // the platform could not make the events
    input->send(QStringLiteral("木"));
    input->key(Key::Delete);
    clock.elapse();
    const QString expected = QStringLiteral("入力イベントを作成できませんでした");
    EXPECT_EQ(messages, (std::vector{expected, expected, expected, expected, expected}));
}

TEST_F(DirectInputTest, DeliveriesWithinTheDelayEachPostWholeAndInOrder) {
    auto input = makeWithTarget(editor);
    fake->expectText(U"𠮷");
    fake->expectKey(Key::BackSpace);
    fake->expectText(U"aあ𠮷");
    fake->expectText(U"𠮷");
    input->send(QStringLiteral("𠮷"));
    input->key(Key::BackSpace);
    input->send(QStringLiteral("aあ𠮷"));
    input->sendUtf8("\xF0\xA0\xAE\xB7");
    EXPECT_EQ(clock.tasks.size(), 4u) << "nothing is merged or cancelled";
    clock.elapse();
    EXPECT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[2], QStringLiteral("Editorへ「aあ𠮷」を送信"));
}

TEST_F(DirectInputTest, DiscardedInputPostsAndReportsNothing) {
    auto input = makeWithTarget(editor);
    input->send(QStringLiteral("木"));
    input.reset();
    clock.elapse();
    fake->userActivates(terminal);  // its activation handler is gone too
    EXPECT_EQ(fake->log, (std::vector<std::string>{"prepare", "activate 7"}));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(changes, 0);
}

// The real main loop: both deliveries run from their own timers without blocking the caller.
TEST_F(DirectInputTest, MainLoopRunsEveryDelivery) {
    int argc = 1;
    char name[] = "input_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    fake->front = editor;
    DirectInput input(fake);
    input.status = [this](const QString& message) { messages.push_back(message); };
    fake->expectText(U"木");
    fake->expectText(U"あ");
    input.send(QStringLiteral("木"));
    input.send(QStringLiteral("あ"));
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(QTest::qWaitFor([this] { return messages.size() == 2; }, 5000));
}

}  // namespace
}  // namespace sumiro
