#include "platform/XInputRecorder.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <clocale>
#include <stdexcept>

namespace scalino::test {

namespace {

bool isModifier(KeySym keysym) {
    return keysym == XK_Shift_L || keysym == XK_Shift_R || keysym == XK_ISO_Level3_Shift ||
           keysym == XK_Num_Lock || keysym == XK_Caps_Lock;
}

}  // namespace

XInputRecorder::XInputRecorder(const std::string& display) {
    // Dead keys compose through the locale's compose table; any UTF-8 locale has one.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr || !XSupportsLocale())
        throw std::runtime_error("the C.UTF-8 locale is missing (package locales)");
    XSetLocaleModifiers("@im=none");
    display_ = XOpenDisplay(display.c_str());
    if (display_ == nullptr) throw std::runtime_error("cannot open display " + display);
    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, 200, 100, 0, 0,
                                  WhitePixel(display_, screen));
    inputMethod_ = XOpenIM(display_, nullptr, nullptr, nullptr);
    if (inputMethod_ == nullptr) throw std::runtime_error("no X input method");
    inputContext_ = XCreateIC(inputMethod_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                              XNClientWindow, window_, XNFocusWindow, window_, nullptr);
    if (inputContext_ == nullptr) throw std::runtime_error("no X input context");
    long filtered = 0;
    XGetICValues(inputContext_, XNFilterEvents, &filtered, nullptr);
    XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask | filtered);
    XMapWindow(display_, window_);
    XEvent event;
    do {
        XNextEvent(display_, &event);
    } while (event.type != MapNotify);
    // Without a window manager the focus stays where it is put.
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSetICFocus(inputContext_);
    XSync(display_, False);
}

XInputRecorder::~XInputRecorder() {
    if (inputContext_ != nullptr) XDestroyIC(inputContext_);
    if (inputMethod_ != nullptr) XCloseIM(inputMethod_);
    if (display_ != nullptr) XCloseDisplay(display_);
}

std::string XInputRecorder::take() {
    // The reply comes after every event the server sent this client before it.
    XSync(display_, False);
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        record(&event);
    }
    std::string text = std::move(received_);
    received_.clear();
    return text;
}

void XInputRecorder::lockGroup(unsigned group) {
    XkbLockGroup(display_, XkbUseCoreKbd, group);
    XSync(display_, False);
}

int XInputRecorder::connectionFd() const {
    return ConnectionNumber(display_);
}

void XInputRecorder::record(void* raw) {
    XEvent& event = *static_cast<XEvent*>(raw);
    if (XFilterEvent(&event, None)) return;  // taken by the input method: a dead key
    if (event.type != KeyPress) return;
    char buffer[64];
    KeySym keysym = NoSymbol;
    Status status = 0;
    const int length =
        Xutf8LookupString(inputContext_, &event.xkey, buffer, sizeof buffer, &keysym, &status);
    const bool printable =
        length > 0 && static_cast<unsigned char>(buffer[0]) >= 0x20 && buffer[0] != 0x7F;
    if ((status == XLookupChars || status == XLookupBoth) && printable) {
        received_.append(buffer, static_cast<size_t>(length));
    } else if (keysym != NoSymbol && !isModifier(keysym)) {
        const char* name = XKeysymToString(keysym);
        received_ += "<" + std::string(name != nullptr ? name : "?") + ">";
    }
}

}  // namespace scalino::test
