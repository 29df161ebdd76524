#include "scalino/VozevuZaDez.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>

#include <clocale>
#include <cstdio>

#include "platform/NativeLibrary.h"
#include "prefs/FilePreferencesFactory.h"
#include "rs232/SerialPortLocal.h"
#include "scalino/MessageDialogs.h"
#include "scalino/QtText.h"
#include "scalino/VozevuZaDezFrame2.h"
#include "util/ProcessProperties.h"

namespace scalino {
namespace {

// Numbers are read and written with a decimal point whatever the desktop's language; the
// texts follow the user's language where a translation exists.
void setDefaultLocale() {
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void setProcessProperties() {
    ProcessProperties::set("VERSION", SCALINO_VERSION);
    ProcessProperties::set("RELEASEDATE", SCALINO_RELEASE_DATE);
    if (!ProcessProperties::get("RS_OSNAME"))
        ProcessProperties::set("RS_OSNAME", ProcessProperties::hostOsName());
    if (!ProcessProperties::get("RS_OSARCH"))
        ProcessProperties::set("RS_OSARCH", ProcessProperties::hostOsArch());
}

// "" when the options are good, else what is wrong.
QString parseCommandLine(QCommandLineParser& parser, const QApplication& application) {
    parser.setApplicationDescription(
        "Reads the values a scale, balance, barcode scanner or gauge sends to a serial port and "
        "types them into the application that has the keyboard focus.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({"prefs", "Use FILE as the settings file instead of the usual one.", "FILE"});
    parser.addPositionalArgument("port",
                                 "The serial port to use instead of the stored one, "
                                 "for example /dev/ttyUSB0.",
                                 "[port]");
    if (!parser.parse(application.arguments())) return parser.errorText();
    if (parser.positionalArguments().size() > 1) return "Only one port can be given.";
    if (parser.isSet("prefs") && parser.value("prefs").isEmpty())
        return "--prefs needs the name of a settings file.";
    return {};
}

// The serial driver is linked in; should a platform ever lack it, nothing can be read.
bool serialLibraryLoaded() {
    SerialPortLocal::setDiagnosticOutput(stderr);
    installNativeDriver();
    if (SerialPortLocal::isLibraryLoaded()) return true;
    const std::string os = ProcessProperties::get("RS_OSNAME", "");
    const std::string arch = ProcessProperties::get("RS_OSARCH", "");
    const QString system =
        os.empty() || arch.empty() ? QString() : toQString(" (" + os + " " + arch + ")");
    dialogs::showError(nullptr, windowText("fatal.error"),
                       windowText("library.rswin.not.found.or.not.matching.your.system") + system +
                           windowText("program.will.now.exit"));
    return false;
}

}  // namespace

int VozevuZaDez::main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("scalino");
    QApplication::setApplicationVersion(SCALINO_VERSION);
    QGuiApplication::setDesktopFileName("com.velmora.Scalino");  // the installed desktop entry
    QCommandLineParser parser;
    if (const QString problem = parseCommandLine(parser, application); !problem.isEmpty()) {
        std::fprintf(stderr, "scalino: %s\nSee scalino --help.\n", qPrintable(problem));
        return 2;
    }
    if (parser.isSet("help")) parser.showHelp(0);
    if (parser.isSet("version")) parser.showVersion();
    setDefaultLocale();
    setProcessProperties();
    if (parser.isSet("prefs")) {
        ProcessProperties::set(FilePreferencesFactory::kFileProperty,
                               fromQString(parser.value("prefs")));
    }
    if (!serialLibraryLoaded()) return 2;
    // The desktop's own style is Qt's default; nothing to choose.
    VozevuZaDezFrame2 window(parser.positionalArguments(), processWindowServices());
    return application.exec();
}

}  // namespace scalino
