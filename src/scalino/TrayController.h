#pragma once

#include <QIcon>
#include <QObject>

class QSystemTrayIcon;
class QWidget;

namespace scalino {

// Minimising to the system tray, where the desktop has one: while installed, iconifying the
// window hides it behind a tray icon (with a notification if wanted) and a double click on the
// icon brings it back.
class TrayController : public QObject {
    Q_OBJECT
public:
    // The window images by height: 16, 20, 24 and 32 pixels.
    static constexpr int kImageSizes[] = {16, 20, 24, 32};
    // The image to use for a tray whose icons are height pixels high.
    static int imageSizeFor(int height);

    explicit TrayController(QWidget* window);
    ~TrayController() override;

    // Creates the tray icon, once; false where the desktop has no tray. With listen, the window
    // state is watched from now on.
    bool addMinimizeToTraySupport(bool listen, bool notify);
    // Stops watching the window state.
    void removeMinimizeToTraySupport();
    bool isListening() const { return listening_; }
    QSystemTrayIcon* trayIcon() const { return trayIcon_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void windowStateChanged();
    void restoreWindow();

    QWidget* window_;
    QSystemTrayIcon* trayIcon_ = nullptr;
    bool listening_ = false;
    bool notify_ = false;
};

// The window icon from the images "Scalino32.png", "Scalino24.png", "Scalino20.png" and
// "Scalino16.png"; an image that cannot be found is skipped and reported on standard error.
QIcon createWindowIcon();
// One of those images, or a null pixmap.
QPixmap createImageIcon(int size);

}  // namespace scalino
