#pragma once

// The controller launched on a fake desktop, clock and worker, driven through its panel.

#include <gtest/gtest.h>

#include <QSettings>
#include <QTest>

#include "controller/AppDelegate.h"
#include "testsupport/FakePlatform.h"
#include "testsupport/FakeScheduler.h"
#include "testsupport/FakeWorker.h"
#include "testsupport/TempDirectory.h"
#include "testsupport/Widgets.h"
#include "views/PadPanel.h"
#include "views/SegmentedControl.h"

namespace sumiro {

class PadFixture : public ::testing::Test {
protected:
    void SetUp() override { QSettings().clear(); }

    /// Launches the pad; its data wait on the worker until `loadData`.
    AppDelegate& start() {
        AppDelegate::Environment environment;
        environment.platform = fake;
        environment.clock = clock;
        auto queue = std::make_unique<FakeWorker>();
        worker = queue.get();
        environment.worker = std::move(queue);
        environment.loadDatabase = load;
        environment.trayIcon = false;
        environment.autostart = Autostart(config.path(), "/opt/sumiro/bin/sumiro");
        environment.language = language;
        delegate = std::make_unique<AppDelegate>(std::move(environment));
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }
    /// Runs the data load waiting on the worker and hands its result to the pad.
    void loadData() {
        EXPECT_TRUE(worker->runNext());
        worker->deliver();
    }
    AppDelegate& startLoaded() {
        AppDelegate& pad = start();
        loadData();
        return pad;
    }
    /// Clicks segment `segment` of the mode control.
    void chooseMode(int segment) {
        QTest::mouseClick(child<SegmentedControl>(u"mode"_qs)->segment(segment), Qt::LeftButton);
    }
    /// The panel's control named `name`.
    template <typename T = QWidget>
    T* child(const QString& name) const {
        return testing::child<T>(delegate->panel(), name);
    }

    std::shared_ptr<FakePlatform> fake = std::make_shared<FakePlatform>();
    std::shared_ptr<FakeScheduler> clock = std::make_shared<FakeScheduler>();
    FakeWorker* worker = nullptr;
    std::function<std::shared_ptr<const CharacterDatabase>()> load;
    Language language = Language::Japanese;
    testing::TempDirectory config;  // the user's configuration directory
    std::unique_ptr<AppDelegate> delegate;
};

}  // namespace sumiro
