#pragma once

#include <QObject>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "controller/Language.h"
#include "controller/Mode.h"
#include "controller/Worker.h"
#include "desktop/Autostart.h"
#include "engine/CharacterDatabase.h"
#include "input/DirectInput.h"
#include "input/InputPlatform.h"
#include "input/Scheduler.h"

namespace sumiro {

class ActionButton;
class BrowseMode;
class PointerShortcuts;
class HandwritingMode;
class KeyboardMode;
class PadMode;
class PadPanel;
class SegmentedControl;
class SetupWindow;
class StatusMenu;
class TextLabel;

/// The application controller: owns the panel with its three modes, the status menu, the
/// delivery to the target, the data load and the permission flow, for the life of the process.
/// A picked character comes from a mode's `picked` to `choose`, which describes it and hands it
/// to DirectInput. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    /// What the controller works with, injected so tests can run it on a fake desktop and clock.
    struct Environment {
        std::shared_ptr<InputPlatform> platform;
        std::shared_ptr<Scheduler> clock;
        /// Loads the data, then runs recognitions, one job at a time.
        std::unique_ptr<Worker> worker;
        /// Builds the database; runs on the worker and throws on failure.
        std::function<std::shared_ptr<const CharacterDatabase>()> loadDatabase;
        /// Whether to offer a tray icon when the desktop has a tray.
        bool trayIcon = true;
        /// The user's login entry behind the menu item "ログイン時に起動"; no item without one.
        std::optional<Autostart> autostart;
        /// The language of the installed catalogue: in English the detail line adds a
        /// character's English meanings.
        Language language = Language::Japanese;
    };
    /// The real desktop, the main loop, the "jp.local.sumiro.recognition" thread and the data
    /// in `resources`.
    static Environment systemEnvironment(const std::filesystem::path& resources);

    explicit AppDelegate(Environment environment);
    ~AppDelegate() override;

    /// How long after the last resize or choice the settings are written: once a resize ends.
    static constexpr Scheduler::Duration kSaveDelay{0.5};

    /// The start-up sequence: panel, status menu, target, show, poll, key monitor, data load.
    void applicationDidFinishLaunching();
    /// Another start of the program: shows the panel.
    void applicationShouldHandleReopen();
    /// What the one-second poll does: names the target anew and follows the permission.
    void pollDesktop();

    /// The panel, once launched; its controls are found by their object names.
    PadPanel* panel() const { return panel_.get(); }
    /// The character data, once loaded.
    const std::shared_ptr<const CharacterDatabase>& database() const { return database_; }
    /// The delivery to the target.
    const DirectInput& input() const { return input_; }

protected:
    /// Puts the panel on every desktop when it is shown; takes the pad's shortcuts while the
    /// pointer is over it; saves the settings when it is hidden or a resize has ended.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPanel();
    /// Shows the view of the mode the switch selects, as the user chose it.
    void changeMode();
    void showSelectedMode();
    PadMode* viewOf(Mode mode) const;
    std::array<PadMode*, 3> modes() const;

    // Actions of the menu and the buttons.
    void show();
    void allowInput();
    void help();
    void quit();

    /// Shows the character's details and types it into the target.
    void choose(const QString& character);
    void showDetail(const QString& character);
    /// Names the target and shows the permission button only while input is not permitted.
    void updateTarget();
    /// Puts the setup window on screen in place of the panel and waits for the permission.
    void showSetup();
    void checkSetupPermission();
    void loadDatabase();
    /// Writes the panel's frame and the user's choices (mode, browse selectors, font, layout).
    void saveSettings();
    /// Writes them once nothing changed for kSaveDelay.
    void saveSoon();
    void restoreFrame();
    void restoreChoices();

    Environment environment_;
    DirectInput input_;
    std::shared_ptr<const CharacterDatabase> database_;
    // The context of the pending save: replaced by each change, which cancels the one before.
    std::unique_ptr<QObject> pendingSave_;
    bool restoring_ = false;
    std::unique_ptr<StatusMenu> statusMenu_;
    std::unique_ptr<SetupWindow> setupWindow_;
    // Ctrl+Z and Ctrl+Q, taken from the target while the pointer is over the panel.
    std::unique_ptr<PointerShortcuts> shortcuts_;
    // Last, so that it goes first: its views call into everything above while they go.
    std::unique_ptr<PadPanel> panel_;
    // Inside the panel:
    QWidget* headerRow_ = nullptr;  // the target and the permission button; opens the menu
    TextLabel* targetLabel_ = nullptr;
    ActionButton* permissionButton_ = nullptr;
    SegmentedControl* modeSwitch_ = nullptr;
    HandwritingMode* handwriting_ = nullptr;
    BrowseMode* browse_ = nullptr;
    KeyboardMode* keyboard_ = nullptr;
    TextLabel* detailLabel_ = nullptr;
    TextLabel* statusLabel_ = nullptr;
};

}  // namespace sumiro
