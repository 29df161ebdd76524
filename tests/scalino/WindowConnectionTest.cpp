// The main window connected to a pseudo-terminal fed like an instrument: the connected look,
// every kind of line in the event log, the typed values, stopping, unplugging, and the settings
// carried out and back in with export and import.
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <stop_token>
#include <thread>

#include "config/Instrument.h"
#include "rs232/SerialExceptions.h"
#include "scalino/EventLogPanel.h"
#include "scalino/ModalAnswerer.h"
#include "scalino/QtText.h"
#include "scalino/WindowFixture.h"
#include "support/FakeDriver.h"
#include "support/Pty.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using test::ModalAnswerer;

QString text(const char* key) {
    return windowText(key);
}

test::Bytes bytes(std::string_view sent) {
    return test::Bytes(sent.begin(), sent.end());
}

// One line of the event log as its pieces of text and their styles, the time left out.
using Pieces = std::vector<std::pair<std::string, LogStyle>>;

class WindowConnectionTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ports = {pty.path()};
    }

    // Settings for an A&D balance on the pty that connect at start-up.
    std::map<std::string, std::string> balance() {
        return {{"instrument", "AND_SIMPLE"},
                {"inputTerminator", "10"},
                {"connect", "AUTO"},
                {"port", pty.path()},
                {"prevPort", pty.path()},
                {"delay", "0"},
                {"dataBits", "3"},
                {"parity", "0"},
                {"checkForUpdates", "false"},
                {"minimizeToTray", "false"}};
    }

    // The connected look comes after the keys have opened, when the status no longer says the
    // window waits for them.
    bool waitConnected(bool connected) {
        return QTest::qWaitFor([&] { return window->isConnected() == connected; }, 20000) &&
               QTest::qWaitFor(
                   [&] {
                       return tabTitles().size() == (connected ? 3 : 7) &&
                              status() != text("keyboard.output.opening");
                   },
                   20000);
    }
    QString status() const { return window->findChild<QLabel*>("statusJLabel")->text(); }
    bool waitForLine(int count) {
        return QTest::qWaitFor(
            [&] { return status() == text("line.count") + QString::number(count); }, 20000);
    }

    // The log's lines from the first one that holds marker on.
    std::vector<Pieces> logFrom(const std::string& marker) const {
        std::vector<Pieces> lines;
        window->eventLogPanel()->flush();
        const QTextDocument* document = window->eventLogPanel()->eventLog()->document();
        bool found = false;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            found = found || block.text().contains(toQString(marker));
            if (!found || block.text().isEmpty()) continue;
            Pieces pieces;
            for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
                const auto style =
                    static_cast<LogStyle>(fragment.fragment()
                                              .charFormat()
                                              .property(EventLogPanel::kStyleProperty)
                                              .toInt());
                std::string piece = fromQString(fragment.fragment().text());
                // "HH:MM:SS " starts every line.
                if (pieces.empty()) piece = piece.substr(9);
                if (!piece.empty() || pieces.empty()) pieces.emplace_back(piece, style);
            }
            lines.push_back(pieces);
        }
        return lines;
    }

    test::Pty pty;
};

TEST_F(WindowConnectionTest, ConnectedLinesAreLoggedInTheirStylesCountedAndTyped) {
    auto settings = balance();
    settings["ignoreDuplicates"] = "true";
    settings["decimalSeparator"] = "COMMA";
    storeSettings(settings);
    ModalAnswerer answerer;
    open();
    ASSERT_TRUE(waitConnected(true));
    EXPECT_EQ(tabTitles(), (QStringList{text("VozevuZaDezFrame2.panel1.tab.title"),
                                        text("VozevuZaDezFrame2.eventLogPanel.tab.title"),
                                        text("VozevuZaDezFrame2.aboutPanel.tab.title")}));
    EXPECT_EQ(status(), text("switch.to.target.application"));
    EXPECT_EQ(control<QPushButton>("startStopJButton")->text(),
              text("VozevuZaDezFrame2.startStopJButton.textStop"));
    pty.send(
        bytes("ST,+00012.50  g\r\n"         // a value, shown with a comma: found as a point
              "ST,+00012.50  g\r\n"         // the same again: a duplicate, emptied
              "OL\r\n"                      // no value
              "\x02ST,+00007.25  g\r\n"));  // a control character before the value
    ASSERT_TRUE(waitForLine(4));
    RecordingKeyEvents expectedKeys;
    auto keybot = Keybot::fromConfig(window->config(), nullptr, expectedKeys);
    for (const char* value : {"12,50", "7,25"})
        keybot->typeString(value);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return keys->transcript() == expectedKeys.transcript(); }, 20000))
        << keys->transcript();
    const std::vector<Pieces> expected = {
        {{"", LogStyle::Regular},
         {"ST,+000", LogStyle::Ignored},
         {"12.50", LogStyle::Typed},
         {"  g<13><10>\n", LogStyle::Ignored}},
        {{"ST,+00012.50  g<13><10>\n", LogStyle::Ignored}},
        {{"OL<13><10>\n", LogStyle::Ignored}},
        {{"<2>ST,+00007.25  g<13><10>\n", LogStyle::Unknown}},
    };
    auto lines = logFrom("ST,+00012.50");
    for (auto& line : lines) {
        // A document block holds no newline; the style of the line's end is that of its last piece.
        line.back().first += "\n";
    }
    EXPECT_EQ(lines, expected);
    window->startStopJButtonActionPerformed();
    ASSERT_TRUE(waitConnected(false));
    for (const auto& box : answerer.messageBoxes())
        ADD_FAILURE() << box.title.toStdString() << ": " << box.text.toStdString();
}

TEST_F(WindowConnectionTest, StoppingAndUnpluggingRestoreTheTabsInTheirOrder) {
    storeSettings(balance());
    ModalAnswerer answerer;
    open();
    ASSERT_TRUE(waitConnected(true));
    const QStringList all = {text("VozevuZaDezFrame2.panel1.tab.title"),
                             text("VozevuZaDezFrame2.inputPanel.tab.title"),
                             text("VozevuZaDezFrame2.processingPanel.tab.title"),
                             text("VozevuZaDezFrame2.outputPanel.tab.title"),
                             text("VozevuZaDezFrame2.settingsPanel.tab.title"),
                             text("VozevuZaDezFrame2.eventLogPanel.tab.title"),
                             text("VozevuZaDezFrame2.aboutPanel.tab.title")};
    QTest::mouseClick(control<QPushButton>("startStopJButton"), Qt::LeftButton);
    ASSERT_TRUE(waitConnected(false));
    EXPECT_EQ(tabTitles(), all);
    EXPECT_EQ(status(), text("VozevuZaDezFrame2.statusJLabel.text"));
    EXPECT_EQ(control<QPushButton>("startStopJButton")->text(),
              text("VozevuZaDezFrame2.startStopJButton.text"));
    // Again, and this time the adapter is pulled out.
    QTest::mouseClick(control<QPushButton>("startStopJButton"), Qt::LeftButton);
    ASSERT_TRUE(waitConnected(true));
    pty.closeMaster();
    ASSERT_TRUE(waitConnected(false));
    EXPECT_EQ(tabTitles(), all);
    EXPECT_FALSE(logFrom("getByte failed").empty()) << "the log says why";
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(WindowConnectionTest, ProblemsWhileConnectingAreShownAndTheWindowStaysDisconnected) {
    auto settings = balance();
    settings["connect"] = "MANUAL";
    settings["port"] = "/dev/ttyNOSUCH";
    storeSettings(settings);
    ports = {"/dev/ttyNOSUCH"};
    ModalAnswerer answerer;
    open();
    QTest::mouseClick(control<QPushButton>("startStopJButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.messageBoxes().empty(); }, 20000));
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes().front().title, text("error.opening.port"));
    EXPECT_TRUE(answerer.messageBoxes().front().text.contains("/dev/ttyNOSUCH"));
    EXPECT_FALSE(window->isConnected());
    EXPECT_EQ(tabTitles().size(), 7);
}

TEST_F(WindowConnectionTest, ATerminatorThatDoesNotComeIsLoggedWithTheControlThatSetsIt) {
    auto settings = balance();
    settings["inputTerminator"] = "4";
    storeSettings(settings);
    ModalAnswerer answerer;
    open();
    ASSERT_TRUE(waitConnected(true));
    pty.send(bytes("ST,+00012.50  g\r\n"));
    const std::string report =
        workerText("no.terminator.other", {"EOT, 4", "2", "CR (13), LF (10)", "LF", "10",
                                           fromQString(text("setting.control.inputTerminator"))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !logFrom(report).empty(); }, 20000))
        << "not logged while connected";
    EXPECT_EQ(logFrom(report).front(), (Pieces{{report, LogStyle::Important}}));
    window->startStopJButtonActionPerformed();
    ASSERT_TRUE(waitConnected(false));
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(WindowConnectionTest, KeysThatCannotBeSentAreReportedAndReadingGoesOn) {
    storeSettings(balance());
    ModalAnswerer answerer;
    auto services = this->services();
    services.outputs.keys = [](const Config&, std::stop_token) -> std::shared_ptr<KeyEventGenerator> {
        throw KeyEventError("no keyboard here");
    };
    window = std::make_unique<VozevuZaDezFrame2>(QStringList{}, std::move(services));
    ASSERT_TRUE(waitConnected(true));
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes().front().title, text("error"));
    EXPECT_EQ(answerer.messageBoxes().front().text,
              text("error.initializing.keyboard.output") + "no keyboard here");
    pty.send(bytes("ST,+00001.00  g\r\n"));
    EXPECT_TRUE(waitForLine(1));
}

// Keys that open only when the user answers the desktop's dialog, as the remote-desktop portal
// does: until then the factory waits, and gives up when asked to stop.
class ConsentDialog {
public:
    KeyEventFactory factory(std::shared_ptr<KeyEventGenerator> keys) {
        return [this, keys](const Config&, std::stop_token stop) -> std::shared_ptr<KeyEventGenerator> {
            std::unique_lock lock(mutex_);
            waiting_ = true;
            answered_.wait(lock, stop, [this] { return allowed_; });
            waiting_ = false;
            if (!allowed_) throw KeyEventError("the wait for the desktop was given up");
            return keys;
        };
    }
    bool waiting() {
        std::lock_guard lock(mutex_);
        return waiting_;
    }
    void allow() {
        {
            std::lock_guard lock(mutex_);
            allowed_ = true;
        }
        answered_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable_any answered_;
    bool waiting_ = false;
    bool allowed_ = false;
};

// A window that connects at start-up while the desktop's dialog asks for consent.
class WindowConsentTest : public WindowConnectionTest {
protected:
    // Starts the window; true once the dialog waits, the window made and its event loop running.
    bool openWhileTheDesktopAsks(ConsentDialog& dialog) {
        storeSettings(balance());
        auto services = this->services();
        services.outputs.keys = dialog.factory(keys);
        window = std::make_unique<VozevuZaDezFrame2>(QStringList{}, std::move(services));
        return QTest::qWaitFor([&] { return dialog.waiting(); }, 20000);
    }
};

// While the desktop asks, the window answers: it shows what it waits for, Stop gives up the
// wait, and an answer given later connects and types.
TEST_F(WindowConsentTest, WhileTheDesktopAsksForConsentTheWindowStaysUsable) {
    for (const bool allowed : {false, true}) {
        SCOPED_TRACE(allowed ? "allowed" : "given up");
        ModalAnswerer answerer;
        ConsentDialog dialog;
        ASSERT_TRUE(openWhileTheDesktopAsks(dialog));
        EXPECT_EQ(status(), text("keyboard.output.opening"));
        EXPECT_EQ(tabTitles().size(), 3) << "the settings tabs go while the keys open";
        EXPECT_FALSE(window->isConnected());
        window->tabbedPane()->setCurrentIndex(1);
        QTest::qWait(50);
        EXPECT_EQ(window->tabbedPane()->currentIndex(), 1);
        if (!allowed) {
            window->startStopJButtonActionPerformed();
            ASSERT_TRUE(QTest::qWaitFor([&] { return tabTitles().size() == 7; }, 20000));
            EXPECT_FALSE(dialog.waiting());
            EXPECT_FALSE(window->isConnected());
            EXPECT_EQ(status(), text("VozevuZaDezFrame2.statusJLabel.text"));
            EXPECT_TRUE(answerer.messageBoxes().empty()) << "giving up is no error";
            continue;
        }
        dialog.allow();
        ASSERT_TRUE(waitConnected(true));
        pty.send(bytes("ST,+00001.00  g\r\n"));
        ASSERT_TRUE(waitForLine(1));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !keys->events().empty(); }, 20000));
        EXPECT_TRUE(answerer.messageBoxes().empty());
        window->startStopJButtonActionPerformed();
        ASSERT_TRUE(waitConnected(false));
    }
}

// Stop pressed just as the desktop allowed, before the window heard of it: stopped it stays.
TEST_F(WindowConsentTest, StopJustAsTheDesktopAllowsStaysStopped) {
    ModalAnswerer answerer;
    ConsentDialog dialog;
    ASSERT_TRUE(openWhileTheDesktopAsks(dialog));
    dialog.allow();
    // The keys open on their thread; the window's event loop does not run meanwhile, so that
    // the news of it waits in the queue when Stop comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_FALSE(dialog.waiting());
    window->startStopJButtonActionPerformed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tabTitles().size() == 7; }, 20000));
    QTest::qWait(200);
    EXPECT_FALSE(window->isConnected());
    EXPECT_EQ(status(), text("VozevuZaDezFrame2.statusJLabel.text"));
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

// Closing the window while the desktop asks ends the wait with it.
TEST_F(WindowConsentTest, ClosingWhileTheDesktopAsksEndsTheWait) {
    ConsentDialog dialog;
    ASSERT_TRUE(openWhileTheDesktopAsks(dialog));
    window->close();
    EXPECT_FALSE(dialog.waiting());
    EXPECT_EQ(exitStatuses, std::vector<int>{0});
}

// Counts nothing and refuses to open, as a machine without a sound card does.
class MissingSequencer : public Sequencer {
public:
    void open() override { throw SoundError("no audio device"); }
    void load(const MidiSequence&) override {}
    void rewindAndStart() override {}
    void close() override {}
};

TEST_F(WindowConnectionTest, EachProblemWhileConnectingHasItsDialog) {
    struct Case {
        std::string name;
        std::function<void(WindowServices&)> arrange;
        QString title, text;
        bool connects;
    };
    const std::vector<Case> cases = {
        {"caps lock", [this](WindowServices&) { keys->setCapsLockOn(true); }, text("warning"),
         text("please.turn.off.caps.lock"), true},
        {"no sound",
         [](WindowServices& services) {
             services.outputs.sequencer = [] { return std::make_unique<MissingSequencer>(); };
         },
         text("sound.output.error"),
         text("error.while.initializing.sound.output") + " no audio device", true},
        {"setting refused",
         [](WindowServices& services) {
             services.outputs.portOpener =
                 [](const SerialConfig&) -> std::unique_ptr<SerialPortLocal> {
                 throw SerialParameterException("bit rate 2400 is not supported");
             };
         },
         text("invalid.setting"), "bit rate 2400 is not supported", false},
        {"no access",
         [this](WindowServices& services) {
             auto driver = std::make_shared<test::FakeDriver>();
             driver->openResult = NativeDriver::kPermissionDenied;
             driver->hint = "Add your user to the group dialout, then log out and back in.";
             services.outputs.portOpener = [driver](const SerialConfig& serial) {
                 return std::make_unique<SerialPortLocal>(
                     serial, driver, PlatformInfo::forPlatform("Linux", "amd64"));
             };
         },
         text("error.opening.port"),
         toQString(pty.path() +
                   ": SerOpenPort failed: Permission denied. Add your user to the group dialout, "
                   "then log out and back in."),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto settings = balance();
        settings["sound"] = "CLAVES";
        storeSettings(settings);
        keys = std::make_shared<RecordingKeyEvents>();
        ModalAnswerer answerer;
        window.reset();
        auto services = this->services();
        c.arrange(services);
        window = std::make_unique<VozevuZaDezFrame2>(QStringList{}, std::move(services));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.messageBoxes().empty(); }, 20000));
        ASSERT_EQ(answerer.messageBoxes().size(), 1u);
        EXPECT_EQ(answerer.messageBoxes().front().title, c.title);
        EXPECT_EQ(answerer.messageBoxes().front().text, c.text);
        // A refused start fails at once; an accepted one connects soon.
        EXPECT_EQ(c.connects ? waitConnected(true) : window->isConnected(), c.connects);
        window.reset();
    }
}

TEST_F(WindowConnectionTest, AStoreThatCannotBeReadOrWrittenIsReportedAndNothingIsLost) {
    // A hand-edited settings file with a damaged escape: read as far as it goes, never written.
    test::writeFile(settingsFile(), "com.velmora.Scalino.delay=33\ncom.velmora.Scalino.x=\\u12\n");
    const std::string damaged = test::readFile(settingsFile());
    ModalAnswerer answerer;
    open();
    ASSERT_GE(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes().front().title, text("error.while.loading.settings"));
    EXPECT_TRUE(answerer.messageBoxes().front().text.startsWith(
        text("access.error.while.loading.settings")));
    // Leaving a tab after a change tries to save: the failure goes to the event log.
    window->tabbedPane()->setCurrentWidget(control<QWidget>("outputPanel"));
    control<QLineEdit>("delayTextField")->setText("44");
    window->tabbedPane()->setCurrentWidget(control<QWidget>("panel1"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !logFrom(fromQString(text("autosave.error"))).empty(); }, 20000));
    EXPECT_EQ(test::readFile(settingsFile()), damaged) << "the damaged file is kept as it is";
}

TEST_F(WindowConnectionTest, ClosingSavesAndEndsWithStatusZero) {
    storeSettings({{"delay", "20"}});
    ModalAnswerer answerer;
    open();
    control<QLineEdit>("delayTextField")->setText("44");
    window->close();
    EXPECT_EQ(exitStatuses, std::vector<int>{0});
    EXPECT_EQ(stored("delay"), "44");
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(WindowConnectionTest, ASaveThatFailsOnClosingIsShownAndTheProgramStillEnds) {
    ModalAnswerer answerer;
    // The settings file's folder is a file: nothing can be written there.
    test::writeFile(dir / "blocker", "");
    auto services = this->services();
    FilePreferencesFactory unwritable(dir / "blocker" / "prefs.txt");
    services.preferencesRoot = &unwritable.userRoot();
    window = std::make_unique<VozevuZaDezFrame2>(QStringList{}, std::move(services));
    answerer.clear();
    window->close();
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes().front().text, text("access.error.while.saving.settings"));
    EXPECT_EQ(exitStatuses, std::vector<int>{0});
    window.reset();
}

// Picks a file in the file chooser, as a person types its name and presses the button.
auto chooseFile(const std::filesystem::path& file) {
    return [file](QDialog& dialog) {
        auto& chooser = dynamic_cast<QFileDialog&>(dialog);
        chooser.selectFile(toQString(file.string()));
        QMetaObject::invokeMethod(&chooser, "accept");
    };
}

TEST_F(WindowConnectionTest, ExportedSettingsComeBackByImportWhichEndsWithStatusFour) {
    storeSettings({{"instrument", "KERN_572"}, {"delay", "31"}, {"removeCharacters", "kg"}});
    const auto exported = dir / "Scalino.xml";
    {
        ModalAnswerer answerer;
        answerer.handleDialogs(chooseFile(exported));
        open();
        QTest::mouseClick(control<QPushButton>("exportSettingsButton"), Qt::LeftButton);
        ASSERT_EQ(answerer.messageBoxes().size(), 1u);
        EXPECT_EQ(answerer.messageBoxes().front().title, text("export.successful"));
        EXPECT_EQ(answerer.messageBoxes().front().text,
                  text("configuration.exported.to.file.n") + toQString(exported.string()));
    }
    ASSERT_TRUE(std::filesystem::exists(exported));
    // Changed and saved afterwards; then the export is imported again.
    storeSettings({{"instrument", "GENERIC"}, {"delay", "5"}, {"removeCharacters", ""}});
    {
        ModalAnswerer answerer;
        answerer.handleDialogs(chooseFile(exported));
        open();
        QTest::mouseClick(control<QPushButton>("importSettingsButton"), Qt::LeftButton);
        ASSERT_EQ(answerer.messageBoxes().size(), 1u);
        EXPECT_EQ(answerer.messageBoxes().front().title, "Restart required");
        EXPECT_EQ(answerer.messageBoxes().front().text, "Apply imported configuration and exit?");
        EXPECT_EQ(exitStatuses, std::vector<int>{4});
        window.reset();  // ends without the save of closing
    }
    ModalAnswerer answerer;
    open();
    EXPECT_EQ(control<QLineEdit>("delayTextField")->text(), "31");
    EXPECT_EQ(control<QLineEdit>("removeCharactersTextField")->text(), "kg");
    EXPECT_EQ(window->config().getInstrument(), ConfigHelper::Instrument::KERN_572);
}

TEST_F(WindowConnectionTest, ExportAsksBeforeOverwritingAndFailuresAreShown) {
    const auto existing = dir / "existing.xml";
    test::writeFile(existing, "keep me");
    struct Case {
        std::filesystem::path file;
        QMessageBox::StandardButton overwrite;
        QString title;
        bool kept;
    };
    const std::vector<Case> cases = {
        {existing, QMessageBox::Cancel, text("overwrite"), true},
        {dir / "no-such-folder" / "Scalino.xml", QMessageBox::Ok, text("error"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.string());
        ModalAnswerer answerer(c.overwrite);
        answerer.handleDialogs(chooseFile(c.file));
        open();
        QTest::mouseClick(control<QPushButton>("exportSettingsButton"), Qt::LeftButton);
        ASSERT_EQ(answerer.messageBoxes().size(), 1u);
        EXPECT_EQ(answerer.messageBoxes().front().title, c.title);
        if (c.kept) {
            EXPECT_EQ(test::readFile(existing), "keep me");
        } else {
            EXPECT_TRUE(answerer.messageBoxes().front().text.startsWith(text("export.failed")));
        }
    }
}

TEST_F(WindowConnectionTest, ADamagedImportIsRefusedAndChangesNothing) {
    storeSettings({{"delay", "12"}});
    const auto damaged = dir / "damaged.xml";
    test::writeFile(damaged, "<?xml version=\"1.0\"?><preferences><root type=\"user\">");
    ModalAnswerer answerer;
    answerer.handleDialogs(chooseFile(damaged));
    open();
    QTest::mouseClick(control<QPushButton>("importSettingsButton"), Qt::LeftButton);
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    EXPECT_EQ(answerer.messageBoxes().front().title, text("error"));
    EXPECT_TRUE(answerer.messageBoxes().front().text.startsWith("Import failed\n"));
    EXPECT_TRUE(exitStatuses.empty());
    EXPECT_EQ(stored("delay"), "12");
}

}  // namespace
}  // namespace scalino
