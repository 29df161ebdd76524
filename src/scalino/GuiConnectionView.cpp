#include "scalino/GuiConnectionView.h"

#include <ctime>

#include "scalino/QtText.h"
#include "util/ResourceBundle.h"

namespace scalino {

GuiConnectionView::GuiConnectionView(ConnectionDisplay& display, QObject* context)
    : display_(display), context_(context) {}

void GuiConnectionView::post(std::function<void()> call) {
    // Queued even on the GUI thread: a direct call would overtake entries other threads posted
    // just before.
    QObject* context = context_.data();
    if (context != nullptr)
        QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}

void GuiConnectionView::log(const std::string& text, LogStyle style) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    post([this, entry = logEntry(local, text), style] { display_.appendToLog({{entry, style}}); });
}

void GuiConnectionView::logEvent(const std::string& text) {
    log(text, LogStyle::Regular);
}

void GuiConnectionView::logImportantEvent(const std::string& text) {
    log(text, LogStyle::Important);
}

void GuiConnectionView::setConnectedInGUI(bool connected) {
    connected_ = connected;
    post([this, connected] { display_.showConnected(connected); });
}

void GuiConnectionView::update(const DataLine& line) {
    // Delivered on the GUI thread in order with the posted calls.
    display_.showLine(line);
}

void GuiConnectionView::showWarning(const std::string& title, const std::string& message) {
    display_.showWarning(title, message);
}

std::string GuiConnectionView::settingControl(std::string_view key, std::string_view value) const {
    // Read on the worker's thread too: the bundle, not a widget.
    const ResourceBundle& window = ResourceBundle::getBundle(kWindowBundleName);
    const std::string phrase = "setting.control." + std::string(key);
    if (!window.containsKey(phrase)) return ConnectionView::settingControl(key, value);
    return window.getString(phrase);
}

void GuiConnectionView::connectionProblem(Problem problem, const std::string& detail) {
    display_.showProblem(problem, detail);
}

}  // namespace scalino
