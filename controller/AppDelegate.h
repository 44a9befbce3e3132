#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "controller/BrowseQuery.h"
#include "controller/RecognitionScheduler.h"
#include "controller/Worker.h"
#include "desktop/Autostart.h"
#include "engine/CharacterDatabase.h"
#include "input/DirectInput.h"
#include "input/InputPlatform.h"
#include "views/ActionButton.h"
#include "views/CharacterGrid.h"
#include "views/InkView.h"
#include "views/PadPanel.h"
#include "views/SegmentedControl.h"
#include "views/ViewHelpers.h"

namespace sumiro {

/// The application controller: owns the panel, the status menu, the modes, the background data
/// load, the recognition scheduling and the permission flow, for the life of the process.
/// Main thread only.
class AppDelegate : public QObject {
public:
    /// What the controller works with, injected so tests can run it on a fake desktop and clock.
    struct Environment {
        std::shared_ptr<InputPlatform> platform;
        std::shared_ptr<Scheduler> clock;
        /// Runs recognitions, one at a time.
        std::unique_ptr<Worker> recognizerQueue;
        /// Builds the database; runs on a background thread and throws on failure.
        std::function<std::shared_ptr<const CharacterDatabase>()> loadDatabase;
        /// Whether to offer a tray icon when the desktop has a tray.
        bool trayIcon = true;
        /// The user's login entry behind the menu item "ログイン時に起動"; no item without one.
        std::optional<Autostart> autostart;
    };
    /// The real desktop, the main loop, the "jp.local.sumiro.recognition" thread and the data
    /// in `resources`.
    static Environment systemEnvironment(const std::filesystem::path& resources);

    explicit AppDelegate(Environment environment);
    ~AppDelegate() override;

    /// The start-up sequence: panel, status menu, delivery callbacks, target, show, poll, key
    /// monitor, background data load.
    void applicationDidFinishLaunching();
    /// Another start of the program: shows the panel.
    void applicationShouldHandleReopen();

    // Actions of the menu items and controls.
    void show();
    void permission();
    void help();
    void quit();
    /// Adds or removes the login entry as the menu item now says, then shows what is on disk.
    void toggleLoginItem();
    void changeMode();
    void refreshBrowse();
    void filterRadicals();
    void changeFont();
    void rebuildKeyboard();

    // Operations.
    /// Shows the character's details and types it into the target.
    void choose(const QString& character);
    /// Names the target and shows the permission button only while input is not permitted.
    void updateTarget();
    QWidget* makeHandwriting();
    QWidget* makeBrowsing();
    QWidget* makeKeyboard();
    /// A new column of the nine editing and arrow keys.
    QWidget* makeKeyStrip();
    /// Requests a recognition of the current ink.
    void recognize();
    /// Puts the setup window on screen in place of the panel and waits for the permission.
    void showSetup();
    /// One permission check of the poll.
    void checkSetupPermission();
    void buildPanel();
    void buildStatusMenu();

private:
    Environment environment_;
    // Views not placed yet belong here; building the panel moves them into it.
    QWidget unplaced_;

public:
    // Stored state, in the order it is initialised.
    std::unique_ptr<QWidget> setupWindow;               // the permission setup window
    bool waitingForPermission = false;                  // the setup window waits for the grant
    std::unique_ptr<PadPanel> panel;                    // set by buildPanel
    std::unique_ptr<QSystemTrayIcon> statusItem;        // set by buildStatusMenu
    std::shared_ptr<const CharacterDatabase> database;  // set once the data are loaded
    DirectInput input;                                  // follows the target and types into it
    InkView* ink;                                       // handwriting canvas
    CharacterGrid* candidates;                          // recognition candidates
    CharacterGrid* browseGrid;                          // browse results
    TextLabel* targetLabel;                             // names the target
    TextLabel* statusLabel;                             // status line
    TextLabel* detailLabel;                             // detail line
    TextLabel* inkCount;                                // stroke count of the ink
    ActionButton* permissionButton = nullptr;           // "入力を許可…"; set by buildPanel
    SegmentedControl* mode = nullptr;                   // mode switch; set by buildPanel
    QWidget* body;                                      // holds the three mode views
    QWidget* handwriting = nullptr;                     // handwriting mode view
    QWidget* browsing = nullptr;                        // browse mode view
    QWidget* keyboard = nullptr;                        // keyboard mode view
    QWidget* browseControls;                            // row of browse selectors
    QComboBox* countPopup;                              // total stroke count
    QComboBox* radicalPopup;                            // radical
    QComboBox* rangePopup;                              // Unicode range
    QComboBox* fontPopup;                               // font family of the browse grid
    QComboBox* radicalCountPopup;                       // stroke count of the radical
    std::vector<std::int64_t> radicalNumbers;           // radicals listed in radicalPopup
    const std::vector<std::int64_t> radicalStrokeEnds;  // last radical of each stroke count
    QCheckBox* scope;                                   // "基本の漢字のみ"
    QLineEdit* searchField;                             // browse search
    TextLabel* resultLabel;                             // browse result count
    QComboBox* keyboardMode;                            // keyboard layout choice
    QWidget* keyboardBody;                              // the keys, refilled by rebuildKeyboard
    RecognitionScheduler recognition;                   // generation and pending recognition
    QTimer* poll = nullptr;                             // the one-second poll
    QObject* keyMonitor = nullptr;                      // the Ctrl+Z filter
    Worker& recognizerQueue;                            // runs recognitions
    const std::vector<NamedRange> ranges;               // entries of rangePopup

    // Beyond the stored state above.
    std::unique_ptr<QMenu> statusMenu;  // the tray's menu, also opened on the header row
    QWidget* headerRow = nullptr;       // right click opens statusMenu
    QAction* loginItem = nullptr;       // "ログイン時に起動", checked while the entry is on

    /// The twelve ranges of the browse mode, in the order of rangePopup.
    static std::vector<NamedRange> defaultRanges();

protected:
    /// Puts the panel on every desktop when it is shown; saves its frame whenever it is hidden or
    /// resized.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadDatabase();
    void requestAndOpen();
    void saveFrame();
    void restoreFrame();
    void showDetail(const QString& character);
};

}  // namespace sumiro
