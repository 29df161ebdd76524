#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include "util/HyperlinkText.h"

class QLabel;
class QTextBrowser;
class QWidget;

namespace scalino {

// Links of the window's labels and text panes that open in the system's standard browser. The
// link-text operations come from HyperlinkText (containsHyperlink, getPlainLink, ...).
class OpenHyperlinkInBrowser : public HyperlinkText {
public:
    // True on a desktop platform (X11, Wayland) where a launcher for web addresses exists
    // (xdg-open, $BROWSER, a known browser, the desktop portal of a sandbox), or while a browser
    // is set with setBrowser.
    static bool isBrowsingSupported();

    // Turns the label's text into a link to itself unless it already is a hyperlink text (an
    // empty text stays as it is), shows the hand cursor over it and adds the listener, by default
    // a LinkMouseListener that opens the link on a click. A default listener is added only once.
    static void makeLinkable(QLabel* label, QObject* listener = nullptr);

    // Opens the address with a LinkRunner: the caller returns at once; a failure shows the
    // message box. parent: the window the message box belongs to.
    static void openHyperlink(const QUrl& address, QWidget* parent = nullptr);
    static void openHyperlink(const QString& address, QWidget* parent = nullptr);

    // Rich texts with anchors: a click on an anchor opens its address with openHyperlink instead
    // of letting Qt open it.
    static void connectLinks(QLabel* label);
    static void connectLinks(QTextBrowser* browser);

    // Hands http and https addresses to receiver's method (a slot taking a QUrl) instead of the
    // desktop's browser: an embedded browser, or a test. Counts as browsing supported.
    static void setBrowser(QObject* receiver, const char* method);
    static void unsetBrowser();
};

// Opens the plain link of a label's hyperlink text when the label is clicked with the left
// button. Installed as an event filter on the label.
class LinkMouseListener : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool pressed_ = false;
};

}  // namespace scalino
