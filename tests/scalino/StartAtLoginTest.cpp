// The start at login on the settings tab, with XDG_CONFIG_HOME pointed at a scratch folder:
// the box writes and removes the autostart entry, shows what is on disk, and reports a file it
// may not replace with the error dialog, going back to what is there.
#include <QCheckBox>
#include <QCoreApplication>
#include <QTabWidget>

#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "prefs/AutostartEntry.h"
#include "scalino/ModalAnswerer.h"
#include "scalino/QtText.h"
#include "scalino/WindowFixture.h"
#include "support/Subprocess.h"

namespace scalino {
namespace {

using test::ModalAnswerer;
using test::readFile;

class StartAtLoginTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ports = {"/dev/ttyUSB0"};
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfigHome_ = old;
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    }
    void TearDown() override {
        WindowFixture::TearDown();
        if (oldConfigHome_) {
            ::setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
    }

    std::filesystem::path entryFile() const {
        return dir / "config/autostart/com.velmora.Scalino.desktop";
    }

    // The box on the settings tab, the tab shown as a person opens it.
    QCheckBox* showBox() {
        window->tabbedPane()->setCurrentWidget(control<QWidget>("settingsPanel"));
        QTest::qWait(10);
        return control<QCheckBox>("startAtLoginCheckBox");
    }

    void clickBox() {
        QTest::mouseClick(control<QCheckBox>("startAtLoginCheckBox"), Qt::LeftButton);
    }

private:
    std::optional<std::string> oldConfigHome_;
};

// The value of a key of the entry's main group, or nothing.
std::optional<std::string> valueOf(const std::string& entry, const std::string& key) {
    const size_t start = entry.find("\n" + key + "=");
    if (start == std::string::npos) return {};
    const size_t value = start + key.size() + 2;
    return entry.substr(value, entry.find('\n', value) - value);
}

TEST_F(StartAtLoginTest, TickingWritesAValidEntryForThisProgramAndUntickingRemovesIt) {
    ModalAnswerer answerer;
    open();
    QCheckBox* box = showBox();
    EXPECT_EQ(box->text(), windowText("VozevuZaDezFrame2.startAtLoginCheckBox.text"));
    EXPECT_TRUE(box->toolTip().contains("~/.config/autostart")) << box->toolTip().toStdString();
    EXPECT_FALSE(box->isChecked());

    clickBox();
    EXPECT_TRUE(box->isChecked());
    ASSERT_TRUE(std::filesystem::is_regular_file(entryFile()));
    const std::string entry = readFile(entryFile());
    EXPECT_TRUE(entry.starts_with("[Desktop Entry]\n")) << entry;
    EXPECT_EQ(valueOf(entry, "Type"), "Application");
    EXPECT_EQ(valueOf(entry, "Name"), "Scalino");
    EXPECT_EQ(valueOf(entry, "Icon"), "com.velmora.Scalino");
    EXPECT_EQ(valueOf(entry, "Terminal"), "false");
    EXPECT_EQ(valueOf(entry, "X-GNOME-Autostart-enabled"), "true");
    const std::string program = fromQString(QCoreApplication::applicationFilePath());
    EXPECT_EQ(valueOf(entry, "Exec"), AutostartEntry::execValue(program));
    EXPECT_NE(entry.find(program), std::string::npos) << entry;
    if (::access("/usr/bin/desktop-file-validate", X_OK) == 0) {
        const test::ProcessResult validated =
            test::runProgram("/usr/bin/desktop-file-validate", {entryFile().string()}, "");
        EXPECT_EQ(validated.exitStatus, 0) << validated.out << validated.err;
        EXPECT_EQ(validated.out + validated.err, "");
    } else {
        std::cout << "desktop-file-validate is not installed (desktop-file-utils); the entry is "
                     "checked by its keys only\n";
    }

    clickBox();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(std::filesystem::exists(entryFile()));
    EXPECT_TRUE(std::filesystem::is_directory(entryFile().parent_path()));
    EXPECT_TRUE(answerer.messageBoxes().empty());
    // The state is the file's: the settings file does not hold it.
    window.reset();
    EXPECT_EQ(readFile(settingsFile()).find("tartAtLogin"), std::string::npos);
}

TEST_F(StartAtLoginTest, TheBoxShowsTheEntryOnDiskWheneverTheTabIsShown) {
    AutostartEntry(dir / "config/autostart").enable("/usr/bin/scalino");
    ModalAnswerer answerer;
    open();
    EXPECT_TRUE(showBox()->isChecked());
    // The desktop's own start-up settings remove the entry while the window runs.
    window->tabbedPane()->setCurrentWidget(control<QWidget>("outputPanel"));
    std::filesystem::remove(entryFile());
    EXPECT_FALSE(showBox()->isChecked());
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(StartAtLoginTest, AFolderInTheWayIsReportedLeftAloneAndTheBoxGoesBack) {
    std::filesystem::create_directories(entryFile());
    test::writeFile(entryFile() / "kept", "mine");
    ModalAnswerer answerer;
    open();
    QCheckBox* box = showBox();
    EXPECT_FALSE(box->isChecked());
    clickBox();
    ASSERT_TRUE(answerer.waitForMessageBoxes(1));
    const auto& message = answerer.messageBoxes().front();
    EXPECT_EQ(message.title, windowText("error"));
    EXPECT_EQ(message.icon, QMessageBox::Critical);
    EXPECT_TRUE(message.text.startsWith(windowText("autostart.failed")))
        << message.text.toStdString();
    EXPECT_TRUE(message.text.contains(toQString(entryFile().string())))
        << message.text.toStdString();
    EXPECT_TRUE(message.text.contains("it is a folder")) << message.text.toStdString();
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(readFile(entryFile() / "kept"), "mine");
}

}  // namespace
}  // namespace scalino
