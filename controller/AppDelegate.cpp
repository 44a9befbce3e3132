#include "controller/AppDelegate.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFont>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QThreadPool>
#include <exception>
#include <numeric>

#include "controller/PadTexts.h"
#include "controller/PanelFrame.h"
#include "controller/UndoShortcut.h"
#include "engine/ResourceDirectory.h"
#include "input/HelpPage.h"
#include "input/WindowServices.h"

namespace sumiro {

namespace {

std::vector<std::int64_t> allRadicals() {
    std::vector<std::int64_t> numbers(214);
    std::iota(numbers.begin(), numbers.end(), 1);
    return numbers;
}

template <typename T>
T* parked(T* view, QWidget* owner) {
    view->setParent(owner);
    return view;
}

QIcon characterIcon() {
    // Painted rather than shipped: one glyph, sharp at every tray size.
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x33, 0x33, 0x33));
        painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
        QFont font(QStringLiteral("Noto Sans CJK JP"));
        font.setPixelSize(static_cast<int>(size * 0.8));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("字"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

AppDelegate::Environment AppDelegate::systemEnvironment(const std::filesystem::path& resources) {
    Environment environment;
    environment.platform = systemInputPlatform();
    environment.clock = mainLoopScheduler();
    environment.recognizerQueue =
        std::make_unique<SerialWorker>(QStringLiteral("jp.local.sumiro.recognition"));
    environment.loadDatabase = [resources] {
        return std::make_shared<const CharacterDatabase>(resources);
    };
    environment.autostart = Autostart::forCurrentUser();
    return environment;
}

std::vector<NamedRange> AppDelegate::defaultRanges() {
    return {
        {QStringLiteral("ひらがな"), 0x3041, 0x3096},
        {QStringLiteral("カタカナ"), 0x30A1, 0x30FA},
        {QStringLiteral("英数字・記号"), 0x0021, 0x007E},
        {QStringLiteral("句読点・括弧"), 0x3000, 0x303F},
        {QStringLiteral("全角・半角"), 0xFF01, 0xFF9F},
        {QStringLiteral("漢字"), 0x4E00, 0x9FFF},
        {QStringLiteral("漢字 拡張A"), 0x3400, 0x4DBF},
        {QStringLiteral("漢字 拡張B"), 0x20000, 0x2A6DF},
        {QStringLiteral("矢印"), 0x2190, 0x21FF},
        {QStringLiteral("数学記号"), 0x2200, 0x22FF},
        {QStringLiteral("罫線"), 0x2500, 0x257F},
        {QStringLiteral("外字領域"), 0xE000, 0xF8FF},
    };
}

AppDelegate::AppDelegate(Environment environment)
    : environment_(std::move(environment)),
      input(environment_.platform, environment_.clock),
      ink(parked(new InkView, &unplaced_)),
      candidates(parked(new CharacterGrid, &unplaced_)),
      browseGrid(parked(new CharacterGrid, &unplaced_)),
      targetLabel(parked(label(texts::kNoTarget, 12), &unplaced_)),
      statusLabel(parked(label(texts::kLoading, 12), &unplaced_)),
      detailLabel(parked(label(texts::kDetailHint, 12), &unplaced_)),
      inkCount(parked(label(texts::strokeCount(0), 12), &unplaced_)),
      body(parked(new QWidget, &unplaced_)),
      browseControls(parked(stack({}), &unplaced_)),
      countPopup(parked(new QComboBox, &unplaced_)),
      radicalPopup(parked(new QComboBox, &unplaced_)),
      rangePopup(parked(new QComboBox, &unplaced_)),
      fontPopup(parked(new QComboBox, &unplaced_)),
      radicalCountPopup(parked(new QComboBox, &unplaced_)),
      radicalNumbers(allRadicals()),
      radicalStrokeEnds{6,   29,  60,  94,  117, 146, 166, 175, 186,
                        194, 200, 204, 208, 210, 211, 213, 214},
      scope(parked(new QCheckBox(QStringLiteral("基本の漢字のみ")), &unplaced_)),
      searchField(parked(new QLineEdit, &unplaced_)),
      resultLabel(parked(label(QString(), 12), &unplaced_)),
      keyboardMode(parked(new QComboBox, &unplaced_)),
      keyboardBody(parked(new QWidget, &unplaced_)),
      recognition(
          environment_.clock, *environment_.recognizerQueue,
          {.inkCount = [this](const QString& text) { inkCount->setText(text); },
           .status = [this](const QString& text) { statusLabel->setText(text); },
           .candidates = [this](const QStringList& list) { candidates->setCharacters(list); }}),
      recognizerQueue(*environment_.recognizerQueue),
      ranges(defaultRanges()) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    QApplication::setQuitOnLastWindowClosed(false);  // no taskbar entry: the panel is a tool
    buildPanel();
    buildStatusMenu();
    QPointer<AppDelegate> self(this);
    connect(&input, &DirectInput::prepareInput, this, [this] {
        if (QWidget* focused = panel->focusWidget()) focused->clearFocus();
        panel->setAcceptsKeyboard(false);
    });
    connect(&input, &DirectInput::status, statusLabel, &TextLabel::setText);
    connect(&input, &DirectInput::changed, this, &AppDelegate::updateTarget);
    updateTarget();
    show();
    poll = new QTimer(this);
    poll->setInterval(1000);
    connect(poll, &QTimer::timeout, this, [this] {
        updateTarget();
        checkSetupPermission();
    });
    poll->start();
    keyMonitor = new UndoShortcut(
        [self] {
            if (self) self->ink->undoStroke();
        },
        this);
    qApp->installEventFilter(keyMonitor);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::saveFrame);
    loadDatabase();
}

void AppDelegate::loadDatabase() {
    QPointer<AppDelegate> self(this);
    auto load = environment_.loadDatabase;
    QThreadPool::globalInstance()->start([self, load] {
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
        // Queued to the main thread; dropped when the controller is gone by then.
        QMetaObject::invokeMethod(
            qApp,
            [self, loaded, failure] {
                if (!self) return;
                if (!loaded) {
                    self->statusLabel->setText(texts::loadFailed(failure));
                    return;
                }
                self->database = loaded;
                self->statusLabel->setText(texts::kReady);
                self->refreshBrowse();
            },
            Qt::QueuedConnection);
    });
}

void AppDelegate::applicationShouldHandleReopen() { show(); }

void AppDelegate::show() {
    if (!panel) return;
    if (!input.trusted()) {
        showSetup();
        return;
    }
    waitingForPermission = false;
    if (setupWindow) setupWindow->hide();
    if (panel->isMinimized()) panel->showNormal();
    if (panel->isVisible()) {
        panel->raise();  // to the front, without taking the focus from the target
    } else {
        panel->show();  // a window just shown is already in front
    }
}

void AppDelegate::permission() { input.allow(); }

void AppDelegate::requestAndOpen() { input.allow(); }

void AppDelegate::help() {
    if (const auto page = helpPage()) QDesktopServices::openUrl(*page);
}

void AppDelegate::quit() {
    saveFrame();
    QCoreApplication::quit();
}

void AppDelegate::choose(const QString& character) {
    showDetail(character);
    input.send(character);
}

void AppDelegate::showDetail(const QString& character) {
    detailLabel->setText(
        database ? QString::fromStdString(database->detail(character.toStdString())) : character);
}

void AppDelegate::updateTarget() {
    targetLabel->setText(
        texts::targetLabel(input.targetRunning() ? input.targetName() : std::nullopt));
    if (permissionButton) permissionButton->setVisible(!input.trusted());
}

void AppDelegate::buildStatusMenu() {
    statusMenu = std::make_unique<QMenu>();
    statusMenu->addAction(QStringLiteral("Sumiroを表示"), this, &AppDelegate::show);
    statusMenu->addAction(QStringLiteral("入力の許可を設定…"), this, &AppDelegate::permission);
    statusMenu->addAction(QStringLiteral("使い方・ライセンス"), this, &AppDelegate::help);
    if (environment_.autostart) {
        loginItem = statusMenu->addAction(QStringLiteral("ログイン時に起動"), this,
                                          &AppDelegate::toggleLoginItem);
        loginItem->setCheckable(true);
        loginItem->setChecked(environment_.autostart->enabled());
        // The entry can change behind the pad's back (the desktop's settings, a file manager).
        connect(statusMenu.get(), &QMenu::aboutToShow, this,
                [this] { loginItem->setChecked(environment_.autostart->enabled()); });
    }
    statusMenu->addSeparator();
    QAction* quitItem =
        statusMenu->addAction(QStringLiteral("Sumiroを終了"), this, &AppDelegate::quit);
    quitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (QAction* item : statusMenu->actions()) {
        if (!item->isSeparator()) item->setObjectName(item->text());
    }
    // Desktops without a tray (GNOME by default) reach the same items on the header row.
    if (headerRow) {
        headerRow->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(headerRow, &QWidget::customContextMenuRequested, this,
                [this](const QPoint& at) { statusMenu->popup(headerRow->mapToGlobal(at)); });
    }
    if (!environment_.trayIcon) return;
    statusItem = std::make_unique<QSystemTrayIcon>(characterIcon());
    statusItem->setToolTip(QStringLiteral("Sumiro"));
    statusItem->setContextMenu(statusMenu.get());
    // A left click opens the menu too, as the status item's menu does.
    connect(statusItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) statusMenu->popup(QCursor::pos());
            });
    statusItem->show();
}

void AppDelegate::toggleLoginItem() {
    if (!environment_.autostart || !loginItem) return;
    try {
        environment_.autostart->setEnabled(loginItem->isChecked());
    } catch (const std::exception& error) {
        statusLabel->setText(QStringLiteral("ログイン時の起動を設定できません：") +
                             QString::fromStdString(error.what()));
    }
    loginItem->setChecked(environment_.autostart->enabled());
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched != panel.get()) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::Show:
            // Window managers drop the all-desktops state when a window is unmapped.
            showOnAllDesktops(panel->winId());
            break;
        case QEvent::Hide:
        case QEvent::Resize:
            // Also on every resize: a session that ends the pad with a signal keeps the last size.
            saveFrame();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::saveFrame() {
    if (!panel) return;
    QSettings settings;
    settings.setValue(QStringLiteral("SumiroWindow"), panel->geometry());
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
    panel->setGeometry(placeFrame(frame, kPanelSize, kPanelMinimumSize, screens));
}

}  // namespace sumiro
