#include "platform/RemoteDesktopPortal.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string_view>
#include <type_traits>

#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

constexpr const char* kService = "org.freedesktop.portal.Desktop";
constexpr const char* kObject = "/org/freedesktop/portal/desktop";
constexpr const char* kInterface = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";
// The host portal's registry (xdg-desktop-portal 1.19 and later): a program that is not in a
// sandbox names its application there, before its first other call to the portal.
constexpr const char* kRegistryInterface = "org.freedesktop.host.portal.Registry";

constexpr const char* kNoPortal =
    "no remote-desktop portal on the session bus (xdg-desktop-portal with a GNOME or KDE backend "
    "is needed)";
constexpr const char* kRefused =
    "the desktop refused remote keyboard access: allow it in the dialog, or choose another way "
    "with --keyboard";

constexpr const char* kEnded =
    "the desktop ended the remote keyboard session (revoked from its indicator, or the user "
    "logged out): press Start again to ask for access anew";

// How often a wait for the portal looks whether it is to stop.
constexpr std::chrono::milliseconds kStopCheckInterval{100};

// Response codes of org.freedesktop.portal.Request.
constexpr uint32_t kSuccess = 0;
constexpr uint32_t kCancelled = 1;

uint64_t microseconds(std::chrono::milliseconds duration) {
    return static_cast<uint64_t>(duration.count()) * 1000;
}

std::string seconds(std::chrono::milliseconds duration) {
    return std::to_string((duration.count() + 999) / 1000) + " s";
}

// Frees what sd-bus handed out when the scope ends, whichever way it ends.
struct MessageRef {
    sd_bus_message* message = nullptr;
    ~MessageRef() { sd_bus_message_unref(message); }
};
struct ErrorRef {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ~ErrorRef() { sd_bus_error_free(&error); }
    std::string text(int code) const {
        if (error.message != nullptr) return error.message;
        return std::strerror(-code);
    }
};
struct SlotRef {
    sd_bus_slot* slot = nullptr;
    ~SlotRef() { sd_bus_slot_unref(slot); }
};

// Calls a method of the RemoteDesktop interface that takes the session and no options first,
// then what appendRest adds; the reply and any error are the caller's to read. Returns sd-bus's
// result, negative on failure.
int callOnSession(sd_bus* bus, const std::string& session, const char* method,
                  std::chrono::milliseconds timeout,
                  const std::function<int(sd_bus_message*)>& appendRest, MessageRef& reply,
                  ErrorRef& error) {
    MessageRef call;
    int result =
        sd_bus_message_new_method_call(bus, &call.message, kService, kObject, kInterface, method);
    if (result >= 0) result = sd_bus_message_append(call.message, "o", session.c_str());
    if (result >= 0) result = sd_bus_message_open_container(call.message, 'a', "{sv}");
    if (result >= 0) result = sd_bus_message_close_container(call.message);
    if (result >= 0) result = appendRest(call.message);
    if (result < 0) return result;
    return sd_bus_call(bus, call.message, microseconds(timeout), &error.error, &reply.message);
}

// What a Request's Response signal said.
struct Response {
    bool received = false;
    bool malformed = false;
    uint32_t code = 2;
    std::string sessionHandle;
    std::string restoreToken;
    uint32_t devices = 0;
};

// Reads one basic value out of the variant the reader stands at, when it holds one of types.
template <typename T>
bool readVariant(sd_bus_message* message, std::string_view types, T& value) {
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(message, &type, &contents) <= 0 || contents == nullptr ||
        std::strlen(contents) != 1 || types.find(contents[0]) == std::string_view::npos) {
        sd_bus_message_skip(message, "v");
        return false;
    }
    if (sd_bus_message_enter_container(message, 'v', contents) < 0) return false;
    bool read = false;
    if constexpr (std::is_same_v<T, std::string>) {
        const char* text = nullptr;
        read = sd_bus_message_read_basic(message, contents[0], &text) > 0;
        if (read) value = text;
    } else {
        read = sd_bus_message_read_basic(message, contents[0], &value) > 0;
    }
    return sd_bus_message_exit_container(message) >= 0 && read;
}

// The signal's arguments: the code and the results (a{sv}); keys this class does not use are
// skipped. The session handle is an object path in newer portals and a string in older ones.
int parseResponse(sd_bus_message* message, Response& response) {
    if (sd_bus_message_read(message, "u", &response.code) < 0) return -1;
    if (sd_bus_message_enter_container(message, 'a', "{sv}") < 0) return -1;
    int more;
    while ((more = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(message, "s", &key) < 0) return -1;
        const std::string_view name = key;
        if (name == "session_handle") {
            readVariant(message, "os", response.sessionHandle);
        } else if (name == "restore_token") {
            readVariant(message, "s", response.restoreToken);
        } else if (name == "devices") {
            readVariant(message, "u", response.devices);
        } else if (sd_bus_message_skip(message, "v") < 0) {
            return -1;
        }
        if (sd_bus_message_exit_container(message) < 0) return -1;
    }
    if (more < 0) return -1;
    return sd_bus_message_exit_container(message);
}

// The session's Closed: userdata is the flag it sets.
int onClosed(sd_bus_message*, void* userdata, sd_bus_error*) {
    *static_cast<bool*>(userdata) = true;
    return 0;
}

int onResponse(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& response = *static_cast<Response*>(userdata);
    if (response.received) return 0;
    response.received = true;
    response.malformed = parseResponse(message, response) < 0;
    return 0;
}

}  // namespace

std::unique_ptr<RemoteDesktopPortal> RemoteDesktopPortal::open(RestoreTokenStore tokens,
                                                               PortalTimeouts timeouts) {
    std::unique_ptr<RemoteDesktopPortal> portal(new RemoteDesktopPortal());
    portal->timeouts_ = timeouts;
    portal->connect();
    portal->handshake(tokens);
    return portal;
}

RemoteDesktopPortal::~RemoteDesktopPortal() {
    closeSession();
    sd_bus_flush_close_unref(bus_);
}

namespace {

// What the probe's one call brought.
struct ProbeAnswer {
    bool received = false;
    uint32_t version = 0;
};

int onVersion(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& answer = *static_cast<ProbeAnswer*>(userdata);
    answer.received = true;
    uint32_t version = 0;
    // An error (no portal, a portal without the interface, the bus gone) leaves it 0.
    if (!sd_bus_message_is_method_error(message, nullptr) &&
        sd_bus_message_read(message, "v", "u", &version) > 0) {
        answer.version = version;
    }
    return 0;
}

}  // namespace

uint32_t RemoteDesktopPortal::offeredVersion(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // No address and no runtime folder, or no socket there: an error at once. The connection
    // itself is asynchronous: its authentication and Hello go with the call below.
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return 0;
    ProbeAnswer answer;
    sd_bus_slot* slot = nullptr;
    int result =
        sd_bus_call_method_async(bus, &slot, kService, kObject, "org.freedesktop.DBus.Properties",
                                 "Get", onVersion, &answer, "ss", kInterface, "version");
    while (result >= 0 && !answer.received) {
        result = sd_bus_process(bus, nullptr);
        if (result != 0) continue;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        result = sd_bus_wait(
            bus, microseconds(std::chrono::ceil<std::chrono::milliseconds>(deadline - now)));
    }
    sd_bus_slot_unref(slot);
    // Without flushing: a bus that does not answer must not hold the caller up on the way out.
    sd_bus_close_unref(bus);
    return answer.version;
}

void RemoteDesktopPortal::connect() {
    int result = sd_bus_open_user(&bus_);
    if (result < 0) {
        throw KeyEventError(std::string(kNoPortal) + ": no session bus (" + std::strerror(-result) +
                            ")");
    }
    const char* unique = nullptr;
    result = sd_bus_get_unique_name(bus_, &unique);
    if (result < 0) {
        throw KeyEventError(std::string(kNoPortal) + ": the session bus gave no name (" +
                            std::strerror(-result) + ")");
    }
    // Request paths name the caller by its unique name without the colon, dots as underscores.
    for (const char* c = unique; *c != '\0'; ++c) {
        if (*c == ':') continue;
        senderPart_ += *c == '.' ? '_' : *c;
    }
    // Before any other call to the portal: it takes a registration only from a connection it
    // has not yet looked the application up for.
    registerApp();
    // The version answers whether the portal is there at all (a bus may start it on demand).
    ErrorRef error;
    result = sd_bus_get_property_trivial(bus_, kService, kObject, kInterface, "version",
                                         &error.error, 'u', &version_);
    if (result < 0) throw KeyEventError(std::string(kNoPortal) + ": " + error.text(result));

    // EIS came with a later version of the interface; a portal of that version may still lack
    // it (its backend does not offer it), so the method itself is looked for.
    MessageRef reply;
    ErrorRef introspectError;
    if (version_ >= 2 &&
        sd_bus_call_method(bus_, kService, kObject, "org.freedesktop.DBus.Introspectable",
                           "Introspect", &introspectError.error, &reply.message, "") >= 0) {
        const char* xml = nullptr;
        if (sd_bus_message_read(reply.message, "s", &xml) >= 0 && xml != nullptr) {
            const std::string_view text = xml;
            const size_t start = text.find(std::string("<interface name=\"") + kInterface + "\"");
            const size_t end = text.find("</interface>", start);
            offersEis_ =
                start != std::string_view::npos &&
                text.substr(start, end - start).find("\"ConnectToEIS\"") != std::string_view::npos;
        }
    }
}

void RemoteDesktopPortal::registerApp() {
    // A portal older than the registry answers with an unknown method, and one that refuses
    // (the connection already has an application) goes on naming the program as before: the
    // dialog is then less precise, nothing worse, so neither is said.
    ErrorRef error;
    MessageRef call;
    int result = sd_bus_message_new_method_call(bus_, &call.message, kService, kObject,
                                                kRegistryInterface, "Register");
    if (result >= 0) result = sd_bus_message_append(call.message, "s", kAppId);
    if (result >= 0) result = sd_bus_message_open_container(call.message, 'a', "{sv}");
    if (result >= 0) result = sd_bus_message_close_container(call.message);
    MessageRef reply;
    if (result >= 0) {
        sd_bus_call(bus_, call.message, microseconds(timeouts_.request), &error.error,
                    &reply.message);
    }
}

std::string RemoteDesktopPortal::nextToken() {
    return "scalino_" + std::to_string(getpid()) + "_" + std::to_string(++tokenCount_);
}

std::string RemoteDesktopPortal::requestPath(const std::string& token) const {
    return std::string(kObject) + "/request/" + senderPart_ + "/" + token;
}

void RemoteDesktopPortal::handshake(RestoreTokenStore& tokens) {
    const std::string stored = tokens.load ? tokens.load() : "";
    if (trySession(stored, tokens)) return;
    // The desktop no longer takes the token (revoked, or from another session): without it,
    // the user is asked again.
    if (tokens.save) tokens.save("");
    closeSession();
    if (!trySession("", tokens)) throw KeyEventError(kRefused);
}

namespace {

// Appends one entry of an a{sv} options argument.
int appendOption(sd_bus_message* message, const char* key, const std::string& value) {
    return sd_bus_message_append(message, "{sv}", key, "s", value.c_str());
}
int appendOption(sd_bus_message* message, const char* key, uint32_t value) {
    return sd_bus_message_append(message, "{sv}", key, "u", value);
}

}  // namespace

bool RemoteDesktopPortal::trySession(const std::string& restoreToken, RestoreTokenStore& tokens) {
    // One request: subscribe to the Response on the path the portal will give the Request, and
    // only then call, so that an answer cannot come before anyone listens.
    auto request = [this](const char* method, std::chrono::milliseconds timeout,
                          const std::function<int(sd_bus_message*, const std::string&)>& append) {
        Response response;
        const std::string token = nextToken();
        const std::string path = requestPath(token);
        SlotRef slot;
        int result = sd_bus_match_signal(bus_, &slot.slot, nullptr, path.c_str(), kRequestInterface,
                                         "Response", onResponse, &response);
        MessageRef call;
        if (result >= 0) {
            result = sd_bus_message_new_method_call(bus_, &call.message, kService, kObject,
                                                    kInterface, method);
        }
        if (result >= 0) result = append(call.message, token);
        if (result < 0) {
            throw KeyEventError(std::string("the remote-desktop portal's ") + method +
                                " could not be asked (" + std::strerror(-result) + ")");
        }
        ErrorRef error;
        MessageRef reply;
        result = sd_bus_call(bus_, call.message, microseconds(timeouts_.request), &error.error,
                             &reply.message);
        if (result < 0) {
            throw KeyEventError(std::string("the remote-desktop portal refused ") + method + ": " +
                                error.text(result) + "; choose another way with --keyboard");
        }
        // A portal older than the predictable paths gives another one: listen there too.
        const char* handle = nullptr;
        SlotRef otherSlot;
        if (sd_bus_message_read(reply.message, "o", &handle) >= 0 && handle != nullptr &&
            path != handle) {
            sd_bus_match_signal(bus_, &otherSlot.slot, nullptr, handle, kRequestInterface,
                                "Response", onResponse, &response);
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!response.received) {
            result = sd_bus_process(bus_, nullptr);
            if (result > 0) continue;
            const auto now = std::chrono::steady_clock::now();
            if (timeouts_.stop.stop_requested()) {
                throw KeyEventError(std::string("the wait for the remote-desktop portal's ") +
                                    method + " was given up");
            }
            if (result >= 0 && now < deadline) {
                // In slices, so that a stop is noticed while the desktop's dialog waits.
                const auto slice = std::min<std::chrono::steady_clock::duration>(
                    deadline - now, kStopCheckInterval);
                result = sd_bus_wait(
                    bus_, microseconds(std::chrono::ceil<std::chrono::milliseconds>(slice)));
                if (result >= 0) continue;
            }
            if (result < 0) {
                throw KeyEventError(std::string("the session bus failed while waiting for the "
                                                "remote-desktop portal's ") +
                                    method + " (" + std::strerror(-result) + ")");
            }
            throw KeyEventError(std::string("the remote-desktop portal gave no answer to ") +
                                method + " within " + seconds(timeout) +
                                ": allow remote keyboard access in the desktop's dialog, or "
                                "choose another way with --keyboard");
        }
        if (response.malformed) {
            throw KeyEventError(std::string("the remote-desktop portal answered ") + method +
                                " with results that cannot be read");
        }
        return response;
    };
    auto failed = [](const char* method) {
        return KeyEventError(std::string("the remote-desktop portal could not ") + method +
                             " a keyboard session: choose another way with --keyboard");
    };
    const PortalTimeouts& timeouts = timeouts_;

    const std::string sessionToken = nextToken();
    Response created = request("CreateSession", timeouts.request,
                               [&](sd_bus_message* m, const std::string& token) {
                                   int r = sd_bus_message_open_container(m, 'a', "{sv}");
                                   if (r >= 0) r = appendOption(m, "handle_token", token);
                                   if (r >= 0)
                                       r = appendOption(m, "session_handle_token", sessionToken);
                                   return r >= 0 ? sd_bus_message_close_container(m) : r;
                               });
    if (created.code == kCancelled) throw KeyEventError(kRefused);
    if (created.code != kSuccess || created.sessionHandle.empty()) throw failed("create");
    session_ = created.sessionHandle;
    // The desktop may end the session at any time from now (its indicator, a logout).
    closed_ = false;
    int matched = sd_bus_match_signal(bus_, &closedSlot_, nullptr, session_.c_str(),
                                      kSessionInterface, "Closed", onClosed, &closed_);
    if (matched < 0) {
        throw KeyEventError(std::string("the remote-desktop portal's session could not be "
                                        "watched (") +
                            std::strerror(-matched) + ")");
    }

    Response selected = request("SelectDevices", timeouts.request,
                                [&](sd_bus_message* m, const std::string& token) {
                                    int r = sd_bus_message_append(m, "o", session_.c_str());
                                    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
                                    if (r >= 0) r = appendOption(m, "handle_token", token);
                                    if (r >= 0) r = appendOption(m, "types", kKeyboard);
                                    if (r >= 0)
                                        r = appendOption(m, "persist_mode", kPersistUntilRevoked);
                                    if (r >= 0 && !restoreToken.empty())
                                        r = appendOption(m, "restore_token", restoreToken);
                                    return r >= 0 ? sd_bus_message_close_container(m) : r;
                                });
    if (selected.code == kCancelled) throw KeyEventError(kRefused);
    if (selected.code != kSuccess) throw failed("select the keyboard for");

    Response started =
        request("Start", timeouts.start, [&](sd_bus_message* m, const std::string& token) {
            int r = sd_bus_message_append(m, "os", session_.c_str(), "");
            if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
            if (r >= 0) r = appendOption(m, "handle_token", token);
            return r >= 0 ? sd_bus_message_close_container(m) : r;
        });
    if (started.code == kCancelled) throw KeyEventError(kRefused);
    if (started.code != kSuccess) {
        if (!restoreToken.empty()) return false;
        throw failed("start");
    }
    if ((started.devices & kKeyboard) == 0) {
        throw KeyEventError(std::string(kRefused) +
                            " (the keyboard was not among the devices "
                            "granted)");
    }
    // A token is good for one session: the new one restores this consent next time; without
    // one (the desktop does not keep consents), the used one is worth nothing.
    if (tokens.save && (!started.restoreToken.empty() || !restoreToken.empty()))
        tokens.save(started.restoreToken);
    return true;
}

bool RemoteDesktopPortal::closed() {
    if (closed_ || bus_ == nullptr) return closed_;
    int result;
    while ((result = sd_bus_process(bus_, nullptr)) > 0) {
    }
    // A bus that failed (the login ended, the bus daemon went) took the session with it.
    if (result < 0) closed_ = true;
    return closed_;
}

void RemoteDesktopPortal::throwIfClosed() {
    if (closed()) throw KeyEventError(kEnded);
}

void RemoteDesktopPortal::closeSession() {
    closedSlot_ = sd_bus_slot_unref(closedSlot_);
    // A session the desktop ended is gone already.
    if (bus_ == nullptr || session_.empty() || closed_) {
        session_.clear();
        return;
    }
    MessageRef call;
    if (sd_bus_message_new_method_call(bus_, &call.message, kService, session_.c_str(),
                                       kSessionInterface, "Close") >= 0) {
        // Whether it closed changes nothing for this program; the portal closes a session when
        // its caller leaves the bus too.
        ErrorRef error;
        MessageRef reply;
        sd_bus_call(bus_, call.message, microseconds(timeouts_.request), &error.error,
                    &reply.message);
    }
    session_.clear();
}

void RemoteDesktopPortal::notifyKeyboardKeycode(int keycode, bool pressed) {
    throwIfClosed();
    ErrorRef error;
    MessageRef reply;
    const int result = callOnSession(
        bus_, session_, "NotifyKeyboardKeycode", timeouts_.request,
        [&](sd_bus_message* call) {
            const int32_t code = keycode;
            const uint32_t state = pressed ? 1 : 0;
            return sd_bus_message_append(call, "iu", code, state);
        },
        reply, error);
    if (result < 0) {
        // The Closed signal may have come with the refusal.
        throwIfClosed();
        throw KeyEventError("the remote-desktop portal did not take a key (" + error.text(result) +
                            "): the session may have been ended on the desktop");
    }
}

int RemoteDesktopPortal::connectToEis() {
    throwIfClosed();
    if (!offersEis_) {
        throw KeyEventError(
            "the remote-desktop portal offers no EIS connection (ConnectToEIS, "
            "from version 2 of its interface with a backend that has it; this "
            "one is version " +
            std::to_string(version_) + " without it)");
    }
    ErrorRef error;
    MessageRef reply;
    int result = callOnSession(
        bus_, session_, "ConnectToEIS", timeouts_.request,
        [](sd_bus_message*) { return 0; }, reply, error);
    if (result < 0) {
        throwIfClosed();
        throw KeyEventError("the remote-desktop portal refused an EIS connection: " +
                            error.text(result));
    }
    // The descriptor belongs to the reply: the caller gets one of its own.
    int fd = -1;
    result = sd_bus_message_read(reply.message, "h", &fd);
    if (result < 0) {
        throw KeyEventError(
            "the remote-desktop portal answered ConnectToEIS without a file "
            "descriptor (" +
            std::string(std::strerror(-result)) + ")");
    }
    const int owned = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (owned < 0) {
        throw KeyEventError(
            "the EIS connection from the remote-desktop portal could not be "
            "kept (" +
            std::string(std::strerror(errno)) + ")");
    }
    return owned;
}

}  // namespace scalino
