#include "scalino/TrayController.h"

#include <QEvent>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>

#include <cstdio>

#include "scalino/QtText.h"

// The images are compiled into this static library; its resources are registered on first use,
// since nothing else would keep them in the program.
static void registerIcons() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace scalino {

int TrayController::imageSizeFor(int height) {
    if (height <= 16) return 16;
    if (height <= 20) return 20;
    if (height <= 24) return 24;
    return 32;
}

QPixmap createImageIcon(int size) {
    registerIcons();
    const QString path = QString(":/icons/Scalino%1.png").arg(size);
    QPixmap image(path);
    if (image.isNull()) std::fprintf(stderr, "Couldn't find file: %s\n", qPrintable(path));
    return image;
}

QIcon createWindowIcon() {
    QIcon icon;
    for (int size : {32, 24, 20, 16}) {
        const QPixmap image = createImageIcon(size);
        if (!image.isNull()) icon.addPixmap(image);
    }
    return icon;
}

TrayController::TrayController(QWidget* window) : QObject(window), window_(window) {}

TrayController::~TrayController() {
    removeMinimizeToTraySupport();
}

bool TrayController::addMinimizeToTraySupport(bool listen, bool notify) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    if (trayIcon_ == nullptr) {
        // Qt does not tell the tray's icon size before the icon is shown; the small-icon size of
        // the style is what trays use.
        const int height = window_->style()->pixelMetric(QStyle::PM_SmallIconSize);
        trayIcon_ = new QSystemTrayIcon(QIcon(createImageIcon(imageSizeFor(height))), this);
        trayIcon_->setToolTip("Scalino");
        connect(trayIcon_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::DoubleClick) restoreWindow();
                });
    }
    notify_ = notify;
    if (listen && !listening_) {
        window_->installEventFilter(this);
        listening_ = true;
    }
    return true;
}

void TrayController::removeMinimizeToTraySupport() {
    if (!listening_) return;
    window_->removeEventFilter(this);
    listening_ = false;
}

bool TrayController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::WindowStateChange) windowStateChanged();
    return QObject::eventFilter(watched, event);
}

void TrayController::windowStateChanged() {
    if (window_->windowState() & Qt::WindowMinimized) {
        trayIcon_->show();
        // After the state change has been handled: hiding inside it confuses some window managers.
        QMetaObject::invokeMethod(window_, &QWidget::hide, Qt::QueuedConnection);
        if (notify_) {
            trayIcon_->showMessage("Scalino", windowText("minimized.to.system.tray"),
                                   QSystemTrayIcon::Information);
        }
    } else {
        trayIcon_->hide();
        window_->show();
    }
}

void TrayController::restoreWindow() {
    window_->show();
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->activateWindow();
}

}  // namespace scalino
