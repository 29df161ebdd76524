#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <QTest>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/SettingsStore.h"
#include "platform/NativeLibrary.h"
#include "prefs/FilePreferencesFactory.h"
#include "scalino/VozevuZaDezFrame2.h"
#include "support/TempDir.h"
#include "worker/Keybot.h"
#include "worker/RecordingKeyEvents.h"

namespace scalino::test {

// A main window on its own settings file, with recorded keys and a recorded process end. The
// settings file is written before the window starts and read back as the next start would.
class WindowFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { installNativeDriver(); }

    void SetUp() override { Keybot::clearQueue(); }
    void TearDown() override {
        window.reset();
        Keybot::clearQueue();
    }

    std::filesystem::path settingsFile() const { return dir / "prefs.txt"; }

    // Stores settings as a previous run would have left them.
    void storeSettings(const std::map<std::string, std::string>& settings) {
        FilePreferencesFactory store(settingsFile());
        Preferences& node = store.userRoot().node(kSettingsNodePath);
        for (const auto& [key, value] : settings)
            node.put(key, value);
        node.flush();
    }

    // A stored setting as the next start reads it; "" when there is none.
    std::string stored(const std::string& key) const {
        FilePreferencesFactory store(settingsFile());
        return store.userRoot().node(kSettingsNodePath).get(key, "");
    }

    WindowServices services() {
        store_ = std::make_unique<FilePreferencesFactory>(settingsFile());
        WindowServices result;
        result.preferencesRoot = &store_->userRoot();
        result.outputs.keys = [this](const Config&, std::stop_token) { return keys; };
        result.listPorts = [this] {
            if (!portListFailure.empty()) throw std::runtime_error(portListFailure);
            return ports;
        };
        result.exit = [this](int status) { exitStatuses.push_back(status); };
        result.updateCheckDue = [this] { return updateCheckDue; };
        return result;
    }

    // Starts the window as the program does, with these positional arguments.
    VozevuZaDezFrame2& open(const QStringList& arguments = {}) {
        window.reset();
        window = std::make_unique<VozevuZaDezFrame2>(arguments, services());
        return *window;
    }

    template <typename T>
    T* control(const char* name) const {
        T* found = window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << "no control " << name;
        return found;
    }

    // The titles of the tabs present, in order.
    QStringList tabTitles() const {
        QStringList titles;
        for (int i = 0; i < window->tabbedPane()->count(); ++i)
            titles << window->tabbedPane()->tabText(i);
        return titles;
    }

    TempDir dir;
    std::vector<std::string> ports;
    std::string portListFailure;
    bool updateCheckDue = false;
    std::shared_ptr<RecordingKeyEvents> keys = std::make_shared<RecordingKeyEvents>();
    std::vector<int> exitStatuses;
    std::unique_ptr<VozevuZaDezFrame2> window;

private:
    std::unique_ptr<FilePreferencesFactory> store_;
};

}  // namespace scalino::test
