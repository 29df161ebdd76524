#include "scalino/OpenHyperlinkInBrowser.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QStandardPaths>
#include <QTextBrowser>

#include "scalino/LinkRunner.h"
#include "scalino/QtText.h"

namespace scalino {
namespace {

QPointer<QObject>& browser() {
    static QPointer<QObject> receiver;
    return receiver;
}

bool isDesktopPlatform() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return false;
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
}

bool isExecutable(const QString& name) {
    return !name.isEmpty() && !QStandardPaths::findExecutable(name).isEmpty();
}

// The launchers Qt's desktop services try, in their order; a sandbox opens addresses through
// the desktop portal instead.
bool hasUrlLauncher() {
    if (QFileInfo::exists(QStringLiteral("/.flatpak-info")) || qEnvironmentVariableIsSet("SNAP"))
        return true;
    for (const char* variable : {"DEFAULT_BROWSER", "BROWSER"}) {
        if (isExecutable(qEnvironmentVariable(variable))) return true;
    }
    for (const char* program : {"xdg-open", "google-chrome", "firefox", "mozilla", "opera"}) {
        if (isExecutable(QString::fromLatin1(program))) return true;
    }
    return false;
}

}  // namespace

bool OpenHyperlinkInBrowser::isBrowsingSupported() {
    if (!browser().isNull()) return true;
    return isDesktopPlatform() && hasUrlLauncher();
}

void OpenHyperlinkInBrowser::makeLinkable(QLabel* label, QObject* listener) {
    const std::string text = fromQString(label->text());
    if (!text.empty() && !containsHyperlink(text))
        label->setText(toQString(htmlIfy(linkIfy(text))));
    // The listener opens the link; Qt's own anchor handling must not open it a second time.
    label->setOpenExternalLinks(false);
    label->setCursor(Qt::PointingHandCursor);
    if (listener == nullptr) {
        if (label->findChild<LinkMouseListener*>(QString(), Qt::FindDirectChildrenOnly)) return;
        listener = new LinkMouseListener(label);
    }
    label->installEventFilter(listener);
}

void OpenHyperlinkInBrowser::openHyperlink(const QUrl& address, QWidget* parent) {
    LinkRunner::start(address, parent);
}

void OpenHyperlinkInBrowser::openHyperlink(const QString& address, QWidget* parent) {
    openHyperlink(QUrl(address), parent);
}

void OpenHyperlinkInBrowser::connectLinks(QLabel* label) {
    label->setOpenExternalLinks(false);
    label->setTextInteractionFlags(label->textInteractionFlags() | Qt::LinksAccessibleByMouse);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [label](const QString& link) { openHyperlink(link, label->window()); });
}

void OpenHyperlinkInBrowser::connectLinks(QTextBrowser* textBrowser) {
    textBrowser->setOpenLinks(false);
    textBrowser->setOpenExternalLinks(false);
    QObject::connect(
        textBrowser, &QTextBrowser::anchorClicked, textBrowser,
        [textBrowser](const QUrl& link) { openHyperlink(link, textBrowser->window()); });
}

void OpenHyperlinkInBrowser::setBrowser(QObject* receiver, const char* method) {
    QDesktopServices::setUrlHandler(QStringLiteral("http"), receiver, method);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), receiver, method);
    browser() = receiver;
}

void OpenHyperlinkInBrowser::unsetBrowser() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    browser() = nullptr;
}

bool LinkMouseListener::eventFilter(QObject* watched, QEvent* event) {
    auto* label = qobject_cast<QLabel*>(watched);
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool release = event->type() == QEvent::MouseButtonRelease;
    if (label == nullptr || !(press || release)) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return false;
    if (press) {
        pressed_ = true;
        return false;
    }
    // A click: press and release of the left button, released over the label.
    const bool clicked = pressed_ && label->rect().contains(mouse->position().toPoint());
    pressed_ = false;
    const std::string text = fromQString(label->text());
    if (clicked && OpenHyperlinkInBrowser::containsHyperlink(text)) {
        const std::string link = OpenHyperlinkInBrowser::getPlainLink(text);
        if (!link.empty()) OpenHyperlinkInBrowser::openHyperlink(toQString(link), label->window());
    }
    return false;
}

}  // namespace scalino
