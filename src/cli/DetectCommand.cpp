#include "cli/DetectCommand.h"

#include <memory>

#include "cli/SignalWatcher.h"
#include "rs232/SerialPortLocal.h"
#include "worker/AutoPortWorker.h"
#include "worker/UiExecutor.h"

namespace scalino::cli {
namespace {

constexpr const char* kHelp = R"(Usage: scalino-cli detect

Finds the serial port an instrument is attached to, as the desktop program's
automatic port detection does, without reading or sending any data: opens
each serial port in turn, switches its DTR and RTS lines and watches how the
instrument answers on DSR and CTS, and scores the port from 0 to 3. This
takes about half a second per port and needs an instrument that is switched on
and a cable that carries the handshake lines.

The port with the highest score (the first of them on a tie) is printed alone
on standard output; a port scoring 0 is never proposed. The progress messages,
and why a port could not be tested (in use by another program, no access
rights, no modem-control lines), go to standard error.

Options:
  --help   Show this text.

The ports are those that 'scalino-cli ports' lists, in the order they were
found. The SERIAL_PORT_LIST environment variable replaces them with a fixed
list, separated by ':' or ';'.

Exit status: 0 when a port was proposed, 1 when none was (also when the
search was stopped with Ctrl+C or SIGTERM), 2 for a bad option.

Examples:
  scalino-cli detect
  PORT=$(scalino-cli detect) && scalino-cli settings --set port="$PORT" --save
  SERIAL_PORT_LIST=/dev/ttyUSB0:/dev/ttyUSB1 scalino-cli detect
)";

constexpr const char* kNoPortsHint =
    "No serial port found. Plug in the instrument's adapter and try again, or name the ports "
    "with SERIAL_PORT_LIST (for example SERIAL_PORT_LIST=/dev/ttyUSB0:/dev/ttyS0).\n";

// Messages on standard error, one per line; the proposed port on standard output.
class ConsoleView : public AutoPortWorkerView {
public:
    ConsoleView(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    bool proposed() const { return proposed_; }

    void setButtonToCancel() override {}
    void setButtonToClose() override {}
    void setPort(const std::string& portName) override {
        std::fprintf(out_, "%s\n", portName.c_str());
        std::fflush(out_);
        proposed_ = true;
    }
    void update(const std::string& message, bool /*emphasised*/) override {
        std::fprintf(err_, "%s\n", message.c_str());
        std::fflush(err_);
    }

private:
    std::FILE* out_;
    std::FILE* err_;
    bool proposed_ = false;
};

}  // namespace

int runDetect(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, out);
            return 0;
        }
        std::fprintf(err, "scalino-cli detect: unexpected argument '%s'; see --help\n",
                     argument.c_str());
        return 2;
    }
    // Discovery (or SERIAL_PORT_LIST) fills the list; the search walks it unsorted.
    SerialPortLocal::getPortList();
    const std::vector<std::string> ports = SerialPortLocal::portList();
    if (ports.empty()) std::fputs(kNoPortsHint, err);

    QueueExecutor ui;
    ConsoleView view(out, err);
    auto worker = std::make_shared<AutoPortWorker>(view, ports, ui);
    // Ctrl+C acts as the dialog's cancel button: the port under test is still closed.
    SignalWatcher watcher([&ui, worker](int) { ui.post([worker] { worker->cancel(true); }); });
    worker->start();
    ui.runUntil([&] { return worker->isDone(); });
    return view.proposed() ? 0 : 1;
}

}  // namespace scalino::cli
