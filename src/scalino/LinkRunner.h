#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

namespace scalino {

// Opens one address in the standard browser once control is back in the event loop, so the
// click that asked for it returns at once. The desktop launcher (xdg-open) is started detached:
// nothing waits for the browser. When the address cannot be handed over, a message box says so.
class LinkRunner : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kFailureTitle = "A problem occured";
    static constexpr const char* kFailureMessage =
        "Sorry, a problem occurred while trying to open this link in your system's standard "
        "browser.";

    // The runner deletes itself when done. parent: the message box's window, if any.
    static void start(const QUrl& address, QWidget* parent = nullptr);

private:
    LinkRunner(QUrl address, QWidget* parent);
    void run();

    const QUrl uri_;
    QPointer<QWidget> parent_;
};

}  // namespace scalino
