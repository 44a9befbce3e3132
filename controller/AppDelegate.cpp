#include "controller/AppDelegate.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <exception>
#include <utility>

#include "controller/BrowseMode.h"
#include "controller/HandwritingMode.h"
#include "controller/KeyboardMode.h"
#include "controller/PadTexts.h"
#include "controller/PanelFrame.h"
#include "controller/SearchFocus.h"
#include "controller/SetupWindow.h"
#include "controller/StatusMenu.h"
#include "controller/UndoShortcut.h"
#include "input/HelpPage.h"
#include "input/WindowServices.h"
#include "views/ActionButton.h"
#include "views/PadPanel.h"
#include "views/SegmentedControl.h"
#include "views/ViewHelpers.h"

namespace sumiro {

AppDelegate::Environment AppDelegate::systemEnvironment(const std::filesystem::path& resources) {
    Environment environment;
    environment.platform = systemInputPlatform();
    environment.clock = mainLoopScheduler();
    environment.worker =
        std::make_unique<SerialWorker>(QStringLiteral("jp.local.sumiro.recognition"));
    environment.loadDatabase = [resources] {
        return std::make_shared<const CharacterDatabase>(resources);
    };
    environment.autostart = Autostart::forCurrentUser();
    return environment;
}

AppDelegate::AppDelegate(Environment environment)
    : environment_(std::move(environment)), input_(environment_.platform, environment_.clock) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    QApplication::setQuitOnLastWindowClosed(false);  // no taskbar entry: the panel is a tool
    buildPanel();

    statusMenu_ = std::make_unique<StatusMenu>(environment_.autostart);
    connect(statusMenu_.get(), &StatusMenu::showPad, this, &AppDelegate::show);
    connect(statusMenu_.get(), &StatusMenu::allowInput, this, &AppDelegate::allowInput);
    connect(statusMenu_.get(), &StatusMenu::help, this, &AppDelegate::help);
    connect(statusMenu_.get(), &StatusMenu::quit, this, &AppDelegate::quit);
    connect(statusMenu_.get(), &StatusMenu::failed, statusLabel_, &TextLabel::setText);
    // Desktops without a tray (GNOME by default) reach the same items on the header row.
    statusMenu_->openOn(headerRow_);
    if (environment_.trayIcon) statusMenu_->showStatusItem();

    connect(&input_, &DirectInput::prepareInput, this, [this] {
        if (QWidget* focused = panel_->focusWidget()) focused->clearFocus();
        letPanelTakeKeyboard(*panel_, false);
    });
    connect(&input_, &DirectInput::status, statusLabel_, &TextLabel::setText);
    connect(&input_, &DirectInput::changed, this, &AppDelegate::updateTarget);
    updateTarget();
    show();
    auto* poll = new QTimer(this);
    poll->setInterval(1000);
    connect(poll, &QTimer::timeout, this, &AppDelegate::pollDesktop);
    poll->start();
    // The target keeps the keyboard, so Ctrl+Z and Ctrl+Q are taken from it while the pointer is
    // over the panel (see eventFilter); where the panel has the keyboard itself (its search
    // field), UndoShortcut catches Ctrl+Z.
    shortcuts_ = takeShortcuts({Qt::CTRL | Qt::Key_Z, Qt::CTRL | Qt::Key_Q},
                               [this](QKeyCombination pressed) {
                                   if (pressed.key() == Qt::Key_Q) {
                                       quit();
                                   } else {
                                       handwriting_->undoStroke();
                                   }
                               });
    qApp->installEventFilter(new UndoShortcut([this] { handwriting_->undoStroke(); }, this));
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::saveSettings);
    loadDatabase();
}

void AppDelegate::loadDatabase() {
    Worker& worker = *environment_.worker;
    worker.submit([this, &worker, load = environment_.loadDatabase] {
        std::shared_ptr<const CharacterDatabase> loaded;
        QString failure;
        try {
            loaded = load();
        } catch (const std::exception& error) {
            failure = QString::fromStdString(error.what());
        } catch (...) {
            failure = QStringLiteral("unknown error");
        }
        if (!loaded && failure.isEmpty()) failure = QStringLiteral("no data");
        // The controller owns the worker: no hand-back arrives once the controller is gone.
        worker.toMain([this, loaded, failure] {
            if (!loaded) {
                const QString reason = texts::loadFailed(failure);
                statusLabel_->setText(reason);
                handwriting_->dataFailed(reason);
                return;
            }
            database_ = loaded;
            statusLabel_->setText(texts::ready());
            for (PadMode* mode : modes()) mode->setDatabase(loaded);
        });
    });
}

void AppDelegate::buildPanel() {
    panel_ = std::make_unique<PadPanel>();
    panel_->setObjectName(QStringLiteral("panel"));
    panel_->setWindowTitle(QStringLiteral("Sumiro"));
    panel_->setMinimumSize(kPanelMinimumSize);
    panel_->setMaximumSize(kPanelMaximumSize);
    restoreFrame();
    panel_->installEventFilter(this);

    targetLabel_ = label(texts::noTarget(), 12);
    targetLabel_->setObjectName(QStringLiteral("targetLabel"));
    targetLabel_->setSizePolicy(QSizePolicy::Preferred,
                                targetLabel_->sizePolicy().verticalPolicy());
    permissionButton_ = new ActionButton(tr("入力を許可…"), [this] { allowInput(); });
    permissionButton_->setObjectName(QStringLiteral("permissionButton"));
    headerRow_ = stack({targetLabel_, new QWidget, permissionButton_}, Qt::Horizontal, 8,
                       StackAlignment::Center, StackDistribution::Fill);
    headerRow_->setObjectName(QStringLiteral("headerRow"));

    QStringList titles;
    for (const Mode mode : kModes) titles.push_back(modeTitle(mode));
    modeSwitch_ = new SegmentedControl(titles);
    modeSwitch_->setObjectName(QStringLiteral("mode"));
    modeSwitch_->action = [this] { changeMode(); };
    modeSwitch_->setSelectedSegment(0);
    auto* helpButton = new ActionButton(tr("使い方"), [this] { help(); });
    helpButton->setObjectName(QStringLiteral("helpButton"));
    QWidget* modeRow = stack({modeSwitch_, new QWidget, helpButton}, Qt::Horizontal, 8);

    detailLabel_ = label(texts::detailHint(), 12);
    statusLabel_ = label(texts::loading(), 12);
    detailLabel_->setObjectName(QStringLiteral("detailLabel"));
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    for (TextLabel* line : {detailLabel_, statusLabel_}) {
        line->setForegroundRole(QPalette::PlaceholderText);
        line->setTruncatesTail(true);
    }

    // The modes, on top of each other in the body; the switch shows one.
    handwriting_ = new HandwritingMode(environment_.clock, *environment_.worker);
    browse_ = new BrowseMode;
    keyboard_ = new KeyboardMode;
    auto* body = new QWidget;
    body->setObjectName(QStringLiteral("body"));
    for (PadMode* mode : modes()) {
        pin(mode, body, 0);
        connect(mode, &PadMode::picked, this, &AppDelegate::choose);
        connect(mode, &PadMode::hovered, this, &AppDelegate::showDetail);
        connect(mode, &PadMode::keyPressed, &input_, &DirectInput::key);
        connect(mode, &PadMode::status, statusLabel_, &TextLabel::setText);
        connect(mode, &PadMode::choiceChanged, this, &AppDelegate::saveSoon);
    }
    connect(browse_, &BrowseMode::keyboardGivenBack, &input_, &DirectInput::activateTarget);
    browse_->hide();
    keyboard_->hide();

    const QList<QWidget*> rows = {headerRow_, modeRow, body, detailLabel_, statusLabel_};
    QWidget* column = stack(rows, Qt::Vertical, 10, StackAlignment::Leading);
    for (QWidget* row : rows) fillAcross(column, row);
    body->setMinimumHeight(320);
    body->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    pin(column, panel_.get(), 14);
    restoreChoices();
}

PadMode* AppDelegate::viewOf(Mode mode) const {
    switch (mode) {
        case Mode::Handwriting:
            return handwriting_;
        case Mode::Ranges:
        case Mode::StrokeCounts:
        case Mode::Radicals:
            return browse_;
        case Mode::Keyboard:
            return keyboard_;
    }
    return nullptr;
}

std::array<PadMode*, 3> AppDelegate::modes() const { return {handwriting_, browse_, keyboard_}; }

void AppDelegate::changeMode() {
    showSelectedMode();
    detailLabel_->setText(texts::modeDetail());
    saveSoon();
}

void AppDelegate::showSelectedMode() {
    const std::optional<Mode> mode = modeAt(modeSwitch_->selectedSegment());
    PadMode* shown = mode ? viewOf(*mode) : nullptr;
    for (PadMode* view : modes()) view->setVisible(view == shown);
    if (shown) shown->enter(*mode);
}

void AppDelegate::applicationShouldHandleReopen() { show(); }

void AppDelegate::show() {
    if (!panel_) return;
    if (!input_.trusted()) {
        showSetup();
        return;
    }
    if (setupWindow_) setupWindow_->granted();
    if (panel_->isMinimized()) panel_->showNormal();
    if (panel_->isVisible()) {
        panel_->raise();  // to the front, without taking the focus from the target
    } else {
        panel_->show();  // a window just shown is already in front
    }
}

void AppDelegate::showSetup() {
    if (panel_) panel_->hide();
    if (!setupWindow_) {
        setupWindow_ = std::make_unique<SetupWindow>();
        connect(setupWindow_.get(), &SetupWindow::openSettings, this, &AppDelegate::allowInput);
        connect(setupWindow_.get(), &SetupWindow::quit, this, &AppDelegate::quit);
    }
    setupWindow_->open(input_.obstacle());
}

void AppDelegate::pollDesktop() {
    updateTarget();
    checkSetupPermission();
}

void AppDelegate::checkSetupPermission() {
    const bool waiting = setupWindow_ && setupWindow_->waiting();
    switch (setupStep(waiting, input_.trusted(), panel_ && panel_->isVisible())) {
        case SetupStep::ShowPanel:
            show();
            break;
        case SetupStep::ShowSetup:
            showSetup();
            break;
        case SetupStep::None:
            break;
    }
}

void AppDelegate::allowInput() { input_.allow(); }

void AppDelegate::help() {
    if (const auto page = helpPage()) QDesktopServices::openUrl(*page);
}

void AppDelegate::quit() {
    saveSettings();
    QCoreApplication::quit();
}

void AppDelegate::choose(const QString& character) {
    showDetail(character);
    input_.send(character);
}

void AppDelegate::showDetail(const QString& character) {
    if (!database_) {
        detailLabel_->setText(character);
        return;
    }
    // The character, its stroke count and its code stay in sight; the meanings and then the
    // readings are cut.
    const texts::DetailLine line =
        texts::detailLine(character, database_->details(character.toStdString()),
                          environment_.language == Language::English);
    detailLabel_->setTextCutInMiddle(line.head, line.middle, line.tail);
}

void AppDelegate::updateTarget() {
    targetLabel_->setText(
        texts::targetLabel(input_.targetRunning() ? input_.targetName() : std::nullopt));
    permissionButton_->setVisible(!input_.trusted());
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched != panel_.get()) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::Show:
            // Window managers drop the all-desktops state when a window is unmapped.
            showOnAllDesktops(panel_->winId());
            refuseFocusOffers(panel_->winId());
            break;
        case QEvent::Enter:
            if (shortcuts_) shortcuts_->setTaken(true);
            break;
        case QEvent::Leave:
            if (shortcuts_) shortcuts_->setTaken(false);
            break;
        case QEvent::Hide:
            if (shortcuts_) shortcuts_->setTaken(false);
            saveSettings();
            break;
        case QEvent::Resize:
            // Once the resize ends, not at each of its steps: a session that ends the pad with a
            // signal still keeps the last size.
            saveSoon();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::saveSoon() {
    if (restoring_) return;
    pendingSave_ = std::make_unique<QObject>();
    environment_.clock->after(kSaveDelay, *pendingSave_, [this] { saveSettings(); });
}

void AppDelegate::saveSettings() {
    if (!panel_) return;
    QSettings settings;
    settings.setValue(QStringLiteral("SumiroWindow"), panel_->geometry());
    if (const auto mode = modeAt(modeSwitch_->selectedSegment())) {
        settings.setValue(QStringLiteral("mode"), modeWord(*mode));
    }
    for (const PadMode* mode : modes()) mode->saveChoices(settings);
}

void AppDelegate::restoreChoices() {
    const QSettings settings;
    restoring_ = true;
    for (PadMode* mode : modes()) mode->restoreChoices(settings);
    if (const auto mode = modeOfWord(settings.value(QStringLiteral("mode")).toString())) {
        modeSwitch_->setSelectedSegment(segmentOf(*mode));
        showSelectedMode();
    }
    restoring_ = false;
}

void AppDelegate::restoreFrame() {
    QSettings settings;
    const QVariant saved = settings.value(QStringLiteral("SumiroWindow"));
    std::optional<QRect> frame;
    if (saved.typeId() == QMetaType::QRect && saved.toRect().isValid()) frame = saved.toRect();
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        screens.push_back(primary->availableGeometry());
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen())
            screens.push_back(screen->availableGeometry());
    }
    panel_->setGeometry(placeFrame(frame, kPanelSize, kPanelMinimumSize, screens));
}

}  // namespace sumiro
