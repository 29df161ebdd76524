#include "platform/FakeInputServer.h"

#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-server.h>

#include <algorithm>
#include <cstdlib>

#include "fake-input-server-protocol.h"
#include "platform/XkbKeymap.h"

namespace scalino::test {

namespace {

FakeInputServer* serverOf(wl_resource* resource) {
    return static_cast<FakeInputServer*>(wl_resource_get_user_data(resource));
}

// The fake input: every request is kept.
void recordOther(wl_resource* resource, const char* name) {
    FakeInputServer::Request request;
    request.name = name;
    serverOf(resource)->record(std::move(request));
}
void authenticate(wl_client*, wl_resource* resource, const char* application, const char* reason) {
    serverOf(resource)->record({"authenticate", application, reason, 0, 0});
    if (serverOf(resource)->refusesAuthentication())
        wl_resource_post_error(resource, 0, "fake input is not for %s", application);
}
void keyboardKey(wl_client*, wl_resource* resource, uint32_t key, uint32_t state) {
    serverOf(resource)->record({"keyboard_key", "", "", key, state});
}
void pointerMotion(wl_client*, wl_resource* resource, wl_fixed_t, wl_fixed_t) {
    recordOther(resource, "pointer_motion");
}
void button(wl_client*, wl_resource* resource, uint32_t, uint32_t) {
    recordOther(resource, "button");
}
void axis(wl_client*, wl_resource* resource, uint32_t, wl_fixed_t) {
    recordOther(resource, "axis");
}
void touchDown(wl_client*, wl_resource* resource, uint32_t, wl_fixed_t, wl_fixed_t) {
    recordOther(resource, "touch_down");
}
void touchMotion(wl_client*, wl_resource* resource, uint32_t, wl_fixed_t, wl_fixed_t) {
    recordOther(resource, "touch_motion");
}
void touchUp(wl_client*, wl_resource* resource, uint32_t) {
    recordOther(resource, "touch_up");
}
void touchCancel(wl_client*, wl_resource* resource) {
    recordOther(resource, "touch_cancel");
}
void touchFrame(wl_client*, wl_resource* resource) {
    recordOther(resource, "touch_frame");
}
void pointerMotionAbsolute(wl_client*, wl_resource* resource, wl_fixed_t, wl_fixed_t) {
    recordOther(resource, "pointer_motion_absolute");
}

const struct org_kde_kwin_fake_input_interface kFakeInput = {
    authenticate, pointerMotion,         button,     axis,
    touchDown,    touchMotion,           touchUp,    touchCancel,
    touchFrame,   pointerMotionAbsolute, keyboardKey};

void bindFakeInput(wl_client* client, void* data, uint32_t version, uint32_t id) {
    wl_resource* resource = wl_resource_create(client, &org_kde_kwin_fake_input_interface,
                                               static_cast<int>(version), id);
    if (resource == nullptr) {
        wl_client_post_no_memory(client);
        return;
    }
    wl_resource_set_implementation(resource, &kFakeInput, data, nullptr);
}

// The seat's keyboard: the keymap on creation and when the test changes it, the modifiers when
// the test sends them.

// Hands a keyboard the keymap; false where it cannot be written.
bool sendKeymap(wl_resource* keyboard, const std::string& text) {
    const int fd = memfd_create("fake-input-server-keymap", MFD_CLOEXEC);
    // With its terminating NUL, as compositors hand it.
    if (fd < 0 ||
        write(fd, text.c_str(), text.size() + 1) != static_cast<ssize_t>(text.size() + 1)) {
        if (fd >= 0) close(fd);
        return false;
    }
    wl_keyboard_send_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                            static_cast<uint32_t>(text.size() + 1));
    close(fd);
    return true;
}

void releaseResource(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}
const struct wl_keyboard_interface kKeyboard = {releaseResource};

void keyboardGone(wl_resource* resource) {
    serverOf(resource)->removeKeyboard(resource);
}

void getKeyboard(wl_client* client, wl_resource* seat, uint32_t id) {
    FakeInputServer* server = serverOf(seat);
    wl_resource* keyboard =
        wl_resource_create(client, &wl_keyboard_interface, wl_resource_get_version(seat), id);
    if (keyboard == nullptr) {
        wl_client_post_no_memory(client);
        return;
    }
    wl_resource_set_implementation(keyboard, &kKeyboard, server, keyboardGone);
    server->addKeyboard(keyboard);
    if (!sendKeymap(keyboard, server->keymapText())) wl_client_post_no_memory(client);
}
void getNothing(wl_client*, wl_resource*, uint32_t) {}

const struct wl_seat_interface kSeat = {getNothing, getKeyboard, getNothing, releaseResource};

void bindSeat(wl_client* client, void* data, uint32_t version, uint32_t id) {
    auto* server = static_cast<FakeInputServer*>(data);
    wl_resource* seat =
        wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
    if (seat == nullptr) {
        wl_client_post_no_memory(client);
        return;
    }
    wl_resource_set_implementation(seat, &kSeat, server, nullptr);
    wl_seat_send_capabilities(seat, server->keymapText().empty() ? 0 : WL_SEAT_CAPABILITY_KEYBOARD);
    if (version >= WL_SEAT_NAME_SINCE_VERSION) wl_seat_send_name(seat, "seat0");
}

}  // namespace

FakeInputServer::FakeInputServer(const std::string& layout, uint32_t fakeInputVersion) {
    try {
        if (!layout.empty()) keymapText_ = XkbKeymap::compile(layout).text();
    } catch (const std::exception& error) {
        failure_ = std::string("no keymap for the seat: ") + error.what();
        return;
    }
    std::string pattern = "/tmp/scalino-kwin-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        failure_ = "cannot make a folder for the socket";
        return;
    }
    folder_ = pattern;
    display_ = wl_display_create();
    if (display_ == nullptr || wl_display_add_socket(display_, socket().c_str()) != 0 ||
        wl_global_create(display_, &wl_seat_interface, 5, this, bindSeat) == nullptr ||
        (fakeInputVersion > 0 &&
         wl_global_create(display_, &org_kde_kwin_fake_input_interface,
                          static_cast<int>(fakeInputVersion), this, bindFakeInput) == nullptr)) {
        failure_ = "cannot start a Wayland server on " + socket();
        return;
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wakeSource_ = wakeFd_ < 0 ? nullptr
                              : wl_event_loop_add_fd(wl_display_get_event_loop(display_), wakeFd_,
                                                     WL_EVENT_READABLE, runTasks, this);
    if (wakeSource_ == nullptr) {
        failure_ = "cannot wake the Wayland server's thread";
        return;
    }
    thread_ = std::thread([this] {
        wl_event_loop* loop = wl_display_get_event_loop(display_);
        while (!stop_) {
            wl_display_flush_clients(display_);
            wl_event_loop_dispatch(loop, 50);
        }
    });
}

FakeInputServer::~FakeInputServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (wakeSource_ != nullptr) wl_event_source_remove(wakeSource_);
    if (display_ != nullptr) {
        wl_display_destroy_clients(display_);
        wl_display_destroy(display_);
    }
    if (wakeFd_ >= 0) close(wakeFd_);
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::vector<FakeInputServer::Request> FakeInputServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void FakeInputServer::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void FakeInputServer::record(Request request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
}

void FakeInputServer::addKeyboard(wl_resource* keyboard) {
    keyboards_.push_back(keyboard);
}

void FakeInputServer::removeKeyboard(wl_resource* keyboard) {
    keyboards_.erase(std::remove(keyboards_.begin(), keyboards_.end(), keyboard), keyboards_.end());
}

void FakeInputServer::sendModifiers(uint32_t depressed, uint32_t latched, uint32_t locked,
                                    uint32_t group) {
    runOnServer([=, this] {
        for (wl_resource* keyboard : keyboards_) {
            wl_keyboard_send_modifiers(keyboard, wl_display_next_serial(display_), depressed,
                                       latched, locked, group);
        }
        wl_display_flush_clients(display_);
    });
}

void FakeInputServer::changeLayout(const std::string& layout) {
    std::string text = XkbKeymap::compile(layout).text();
    runOnServer([&, this] {
        keymapText_ = std::move(text);
        for (wl_resource* keyboard : keyboards_)
            sendKeymap(keyboard, keymapText_);
        wl_display_flush_clients(display_);
    });
}

void FakeInputServer::runOnServer(std::function<void()> task) {
    std::unique_lock lock(mutex_);
    const unsigned ticket = tasksRun_ + static_cast<unsigned>(tasks_.size()) + 1;
    tasks_.push_back(std::move(task));
    const uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) != sizeof one) return;
    done_.wait(lock, [&] { return tasksRun_ >= ticket; });
}

int FakeInputServer::runTasks(int fd, uint32_t, void* data) {
    auto* self = static_cast<FakeInputServer*>(data);
    uint64_t count = 0;
    if (read(fd, &count, sizeof count) < 0) return 0;
    std::unique_lock lock(self->mutex_);
    while (!self->tasks_.empty()) {
        auto task = std::move(self->tasks_.front());
        self->tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
        ++self->tasksRun_;
    }
    self->done_.notify_all();
    return 0;
}

}  // namespace scalino::test
