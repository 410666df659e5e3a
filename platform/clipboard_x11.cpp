// The X11 CLIPBOARD selection, through xcb (which reports a broken
// connection as a value rather than ending the process, as Xlib does).
//
// Reading asks the selection's owner for its targets and converts the first
// we take, waiting a bounded time for every answer; large data arrives in
// INCR steps. That is done by a helper process (this program again, under
// another name), so that a display which stops answering costs a killed
// helper, not a hung program. Writing starts a detached server the same
// way: it takes the selection, tells us over a pipe whether it got it, and
// then answers other programs' requests until another client takes the
// selection or the display goes away, as a selection owner must stay to
// serve its data.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>

#include "platform/clipboard.h"

namespace platform {

namespace {

// The longest wait for any one answer from another client or the server.
constexpr int ANSWER_MS = 2000;
// The most we take from another program's selection.
constexpr size_t MOST_BYTES = size_t{256} << 20;

int64_t now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

bool display_named() {
    const char* d = std::getenv("DISPLAY");
    return d && *d;
}

enum AtomName {
    A_CLIPBOARD, A_TARGETS, A_TIMESTAMP, A_INCR, A_ATOM, A_INTEGER, A_TEXT,
    A_UTF8, A_TEXT_PLAIN_UTF8, A_TEXT_PLAIN, A_STRING, A_URI_LIST,
    A_PNG, A_JPEG, A_GIF, A_BMP, A_PROPERTY, ATOM_COUNT
};
const char* const ATOM_NAMES[ATOM_COUNT] = {
    "CLIPBOARD", "TARGETS", "TIMESTAMP", "INCR", "ATOM", "INTEGER", "TEXT",
    "UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING", "text/uri-list",
    "image/png", "image/jpeg", "image/gif", "image/bmp", "ZEM_CLIPBOARD"};

// A connection with our atoms and a small unmapped window of our own, which
// the selection traffic goes through.
struct Display {
    xcb_connection_t* c = nullptr;
    xcb_window_t window = 0;
    xcb_atom_t atom[ATOM_COUNT] = {};

    Display() = default;
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;
    ~Display() {
        if (c) xcb_disconnect(c);
    }

    bool broken() const { return xcb_connection_has_error(c) != 0; }

    bool open() {
        int screen_number = 0;
        c = xcb_connect(nullptr, &screen_number);
        if (broken()) return false;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
        if (screens.rem == 0) return false;
        xcb_intern_atom_cookie_t cookies[ATOM_COUNT];
        for (int i = 0; i < ATOM_COUNT; ++i)
            cookies[i] = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(ATOM_NAMES[i])), ATOM_NAMES[i]);
        bool ok = true;
        for (int i = 0; i < ATOM_COUNT; ++i) {
            xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, cookies[i], nullptr);
            if (r) atom[i] = r->atom;
            ok = ok && r;
            std::free(r);
        }
        if (!ok) return false;
        window = xcb_generate_id(c);
        uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        xcb_flush(c);
        return !broken();
    }

    // The next event `wanted` accepts (others are dropped), or null when the
    // deadline passes or the connection breaks. The caller frees it.
    template <typename F>
    xcb_generic_event_t* wait_for(int64_t deadline, F wanted) {
        xcb_flush(c);
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
                if (wanted(e)) return e;
                std::free(e);
            }
            if (broken()) return nullptr;
            int64_t left = deadline - now_ms();
            if (left <= 0) return nullptr;
            pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return nullptr;
        }
    }

    xcb_window_t owner() {
        xcb_get_selection_owner_reply_t* r =
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom[A_CLIPBOARD]), nullptr);
        xcb_window_t w = r ? r->owner : XCB_NONE;
        std::free(r);
        return w;
    }
};

uint8_t event_type(const xcb_generic_event_t* e) { return e->response_type & 0x7F; }

bool write_all(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// The reader's answer pipe: a '.' goes down it after each answer from the
// display, so that its starter can tell a slow transfer from a stuck one.
int beat_fd = -1;
void heartbeat() {
    if (beat_fd >= 0) write_all(beat_fd, ".");
}

// ---- Reading ---------------------------------------------------------------------------

enum class Got { Data, Refused, Failed };

// Takes our property whole (deleting it, which also asks an INCR sender for
// more): its bytes are appended; answers its type, or XCB_NONE when it
// could not be read.
xcb_atom_t take_property(Display& d, std::vector<uint8_t>* data) {
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        d.c, xcb_get_property(d.c, 1, d.window, d.atom[A_PROPERTY], XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
        nullptr);
    if (!r) return XCB_NONE;
    xcb_atom_t type = r->type;
    auto* bytes = static_cast<const uint8_t*>(xcb_get_property_value(r));
    int n = xcb_get_property_value_length(r);
    if (data->size() + n > MOST_BYTES) type = XCB_NONE;
    else data->insert(data->end(), bytes, bytes + n);
    std::free(r);
    return type;
}

// Asks the owner for the selection in the target's form.
Got convert(Display& d, xcb_atom_t target, std::vector<uint8_t>* data, xcb_atom_t* type) {
    data->clear();
    xcb_delete_property(d.c, d.window, d.atom[A_PROPERTY]);
    xcb_convert_selection(d.c, d.window, d.atom[A_CLIPBOARD], target, d.atom[A_PROPERTY], XCB_CURRENT_TIME);
    xcb_generic_event_t* e = d.wait_for(now_ms() + ANSWER_MS, [&](xcb_generic_event_t* ev) {
        if (event_type(ev) != XCB_SELECTION_NOTIFY) return false;
        auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(ev);
        return n->requestor == d.window && n->selection == d.atom[A_CLIPBOARD] && n->target == target;
    });
    if (!e) return Got::Failed;
    heartbeat();
    bool refused = reinterpret_cast<xcb_selection_notify_event_t*>(e)->property == XCB_NONE;
    std::free(e);
    if (refused) return Got::Refused;
    *type = take_property(d, data);
    // An owner that names the property but does not set it (or sets one too
    // large for us) gives nothing in this form.
    if (*type == XCB_NONE) return d.broken() ? Got::Failed : Got::Refused;
    if (*type != d.atom[A_INCR]) return Got::Data;
    // Incremental: each new value of the property is the next piece; an
    // empty one ends the data.
    data->clear();
    for (;;) {
        xcb_generic_event_t* p = d.wait_for(now_ms() + ANSWER_MS, [&](xcb_generic_event_t* ev) {
            if (event_type(ev) != XCB_PROPERTY_NOTIFY) return false;
            auto* n = reinterpret_cast<xcb_property_notify_event_t*>(ev);
            return n->window == d.window && n->atom == d.atom[A_PROPERTY] && n->state == XCB_PROPERTY_NEW_VALUE;
        });
        if (!p) return Got::Failed;
        heartbeat();
        std::free(p);
        size_t before = data->size();
        xcb_atom_t piece = take_property(d, data);
        if (piece == XCB_NONE) return Got::Failed;
        *type = piece;
        if (data->size() == before) return Got::Data;
    }
}

void append_utf8(std::string* out, uint32_t cp) {
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | (cp >> 6));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out += static_cast<char>(0xE0 | (cp >> 12));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (cp >> 18));
        *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The length of the valid UTF-8 sequence at p, or 0.
size_t utf8_sequence(const uint8_t* p, const uint8_t* end) {
    uint8_t b = *p;
    size_t n;
    uint32_t cp;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) n = 2, cp = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, cp = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, cp = b & 0x07;
    else return 0;
    if (static_cast<size_t>(end - p) < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // No overlong forms, surrogates or code points past U+10FFFF.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

// Text from another program: up to its first NUL, CR LF as LF; Latin-1
// (STRING) becomes UTF-8, and a byte that is not valid UTF-8 becomes U+FFFD.
std::string clean_text(const std::vector<uint8_t>& data, bool latin1) {
    std::string out;
    const uint8_t* p = data.data();
    const uint8_t* end = p + data.size();
    while (p < end && *p) {
        if (*p == '\r' && p + 1 < end && p[1] == '\n') {
            ++p;
            continue;
        }
        if (latin1) {
            append_utf8(&out, *p++);
            continue;
        }
        size_t n = utf8_sequence(p, end);
        if (n == 0) {
            append_utf8(&out, 0xFFFD);
            ++p;
        } else {
            out.append(reinterpret_cast<const char*>(p), n);
            p += n;
        }
    }
    return out;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The local paths of a text/uri-list; false when it names anything but
// local files (a list of web links is no list of files).
bool parse_uri_list(const std::vector<uint8_t>& data, std::vector<std::string>* files) {
    std::string text(data.begin(), std::find(data.begin(), data.end(), uint8_t{0}));
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    size_t at = 0;
    while (at < text.size()) {
        size_t eol = text.find('\n', at);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(at, eol - at);
        at = eol + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line.compare(0, 5, "file:") != 0) return false;
        std::string rest = line.substr(5);
        if (rest.compare(0, 2, "//") == 0) {
            size_t slash = rest.find('/', 2);
            if (slash == std::string::npos) return false;
            std::string authority = rest.substr(2, slash - 2);
            if (!authority.empty() && authority != "localhost" && authority != host) return false;
            rest = rest.substr(slash);
        }
        if (rest.empty() || rest[0] != '/') return false;
        std::string path;
        for (size_t i = 0; i < rest.size(); ++i) {
            int hi = 0, lo = 0;
            if (rest[i] == '%' && i + 2 < rest.size() && (hi = hex_digit(rest[i + 1])) >= 0 &&
                (lo = hex_digit(rest[i + 2])) >= 0) {
                char c = static_cast<char>(hi * 16 + lo);
                if (c == 0) return false;
                path += c;
                i += 2;
            } else {
                path += rest[i];
            }
        }
        files->push_back(path);
    }
    return !files->empty();
}

// ---- Writing ---------------------------------------------------------------------------

// One form the server offers: the target asked for, the property type it
// answers with, and the bytes.
struct Offer {
    xcb_atom_t target;
    xcb_atom_t type;
    const std::vector<uint8_t>* bytes;
};

// A transfer in INCR steps to one requestor's property.
struct Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    const std::vector<uint8_t>* bytes;
    size_t sent;
    int64_t deadline;
};

std::vector<uint8_t> uri_list(const std::vector<std::string>& files) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (const std::string& f : files) {
        out += "file://";
        for (unsigned char c : f) {
            if (std::isalnum(c) || std::strchr("/-._~!$&'()*+,;=:@", c)) {
                out += static_cast<char>(c);
            } else {
                out += '%';
                out += HEX[c >> 4];
                out += HEX[c & 15];
            }
        }
        out += "\r\n";
    }
    return {out.begin(), out.end()};
}

bool report(int fd, char status) {
    ssize_t n;
    do n = write(fd, &status, 1);
    while (n < 0 && errno == EINTR);
    close(fd);
    return n == 1;
}

// A time from the server, for taking the selection: the time of the
// notice that a zero-length append to our own property makes.
xcb_timestamp_t server_time(Display& d) {
    xcb_change_property(d.c, XCB_PROP_MODE_APPEND, d.window, d.atom[A_PROPERTY], d.atom[A_STRING], 8, 0, nullptr);
    xcb_generic_event_t* e = d.wait_for(now_ms() + ANSWER_MS, [&](xcb_generic_event_t* ev) {
        return event_type(ev) == XCB_PROPERTY_NOTIFY &&
               reinterpret_cast<xcb_property_notify_event_t*>(ev)->window == d.window;
    });
    if (!e) return XCB_CURRENT_TIME;
    xcb_timestamp_t t = reinterpret_cast<xcb_property_notify_event_t*>(e)->time;
    std::free(e);
    return t;
}

// The name the server runs under, which the start-up hook below looks for.
constexpr char SERVER_NAME[] = "zem-clipboard-server";

// The content as the server receives it: its kind, then the text, the
// image's bytes, or each path followed by a NUL.
std::string pack(const Clipboard& c) {
    std::string out(1, static_cast<char>('0' + c.kind));
    if (c.kind == Clipboard::Text) out += c.text;
    if (c.kind == Clipboard::Image) out.append(c.image.begin(), c.image.end());
    if (c.kind == Clipboard::Files)
        for (const std::string& f : c.files) out.append(f.c_str(), f.size() + 1);
    return out;
}

bool unpack(const std::string& in, Clipboard* c) {
    if (in.empty()) return false;
    int kind = in[0] - '0';
    if (kind < Clipboard::Empty || kind > Clipboard::Failed) return false;
    *c = Clipboard{};
    c->kind = static_cast<Clipboard::Kind>(kind);
    if (c->kind == Clipboard::Text) c->text = in.substr(1);
    if (c->kind == Clipboard::Image) c->image.assign(in.begin() + 1, in.end());
    for (size_t at = 1; c->kind == Clipboard::Files && at < in.size();) {
        size_t end = in.find('\0', at);
        if (end == std::string::npos) return false;
        c->files.push_back(in.substr(at, end - at));
        at = end + 1;
    }
    return true;
}

// The server: owns the selection and answers requests for it, in a
// session of its own with /dev/null for its standard descriptors, so no
// terminal signal and no pipe of its starter's reaches it. Never returns.
[[noreturn]] void serve(const Clipboard& content, int status) {
    signal(SIGPIPE, SIG_IGN);
    Display d;
    if (!d.open()) {
        report(status, 'n');
        _exit(0);
    }
    if (content.kind == Clipboard::Empty) {
        // Emptied: the selection has no owner (a server of ours that had it
        // hears so and ends).
        xcb_set_selection_owner(d.c, XCB_NONE, d.atom[A_CLIPBOARD], XCB_CURRENT_TIME);
        report(status, d.owner() == XCB_NONE ? '1' : '0');
        _exit(0);
    }
    std::vector<uint8_t> text, files;
    std::vector<Offer> offers;
    if (content.kind == Clipboard::Text) {
        text.assign(content.text.begin(), content.text.end());
        for (AtomName a : {A_UTF8, A_TEXT_PLAIN_UTF8, A_TEXT_PLAIN}) offers.push_back({d.atom[a], d.atom[a], &text});
        offers.push_back({d.atom[A_TEXT], d.atom[A_UTF8], &text});
    } else if (content.kind == Clipboard::Files) {
        files = uri_list(content.files);
        offers.push_back({d.atom[A_URI_LIST], d.atom[A_URI_LIST], &files});
    } else {
        offers.push_back({d.atom[A_PNG], d.atom[A_PNG], &content.image});
    }
    xcb_timestamp_t since = server_time(d);
    xcb_set_selection_owner(d.c, d.window, d.atom[A_CLIPBOARD], since);
    if (d.owner() != d.window) {
        report(status, '0');
        _exit(0);
    }
    // A starter that gave up waiting has reported failure: then nothing
    // is served.
    if (!report(status, '1')) {
        xcb_set_selection_owner(d.c, XCB_NONE, d.atom[A_CLIPBOARD], since);
        xcb_flush(d.c);
        _exit(0);
    }

    // Larger answers go in INCR steps of this size.
    size_t piece = std::min<size_t>(size_t{xcb_get_maximum_request_length(d.c)} * 4 - 64, size_t{1} << 18);
    std::list<Transfer> transfers;
    bool owner = true;
    while (owner || !transfers.empty()) {
        // A requestor that stops taking its pieces is given up.
        int64_t now = now_ms();
        transfers.remove_if([&](const Transfer& t) { return t.deadline < now; });
        xcb_generic_event_t* e = d.wait_for(now + 1000, [](xcb_generic_event_t*) { return true; });
        if (!e) {
            if (d.broken()) _exit(0);
            continue;
        }
        uint8_t type = event_type(e);
        if (type == XCB_SELECTION_CLEAR) {
            if (reinterpret_cast<xcb_selection_clear_event_t*>(e)->selection == d.atom[A_CLIPBOARD]) owner = false;
        } else if (type == XCB_PROPERTY_NOTIFY) {
            auto* n = reinterpret_cast<xcb_property_notify_event_t*>(e);
            if (n->state == XCB_PROPERTY_DELETE) {
                for (auto t = transfers.begin(); t != transfers.end(); ++t) {
                    if (t->requestor != n->window || t->property != n->atom) continue;
                    size_t n_bytes = std::min(piece, t->bytes->size() - t->sent);
                    xcb_change_property(d.c, XCB_PROP_MODE_REPLACE, t->requestor, t->property, t->type, 8,
                                        static_cast<uint32_t>(n_bytes), t->bytes->data() + t->sent);
                    // The empty piece after the last one ends the transfer.
                    if (n_bytes == 0) transfers.erase(t);
                    else t->sent += n_bytes, t->deadline = now_ms() + 10 * ANSWER_MS;
                    break;
                }
            }
        } else if (type == XCB_SELECTION_REQUEST) {
            auto* r = reinterpret_cast<xcb_selection_request_event_t*>(e);
            xcb_selection_notify_event_t answer{};
            answer.response_type = XCB_SELECTION_NOTIFY;
            answer.time = r->time;
            answer.requestor = r->requestor;
            answer.selection = r->selection;
            answer.target = r->target;
            // A requestor of the old kind names no property: the target's own.
            answer.property = r->property == XCB_NONE ? r->target : r->property;
            const Offer* offer = nullptr;
            for (const Offer& o : offers)
                if (o.target == r->target) offer = &o;
            bool ours = owner && r->selection == d.atom[A_CLIPBOARD];
            if (!ours) {
                answer.property = XCB_NONE;
            } else if (r->target == d.atom[A_TARGETS]) {
                std::vector<xcb_atom_t> list{d.atom[A_TARGETS], d.atom[A_TIMESTAMP]};
                for (const Offer& o : offers) list.push_back(o.target);
                xcb_change_property(d.c, XCB_PROP_MODE_REPLACE, r->requestor, answer.property, d.atom[A_ATOM], 32,
                                    static_cast<uint32_t>(list.size()), list.data());
            } else if (r->target == d.atom[A_TIMESTAMP]) {
                xcb_change_property(d.c, XCB_PROP_MODE_REPLACE, r->requestor, answer.property, d.atom[A_INTEGER], 32,
                                    1, &since);
            } else if (offer && offer->bytes->size() <= piece) {
                xcb_change_property(d.c, XCB_PROP_MODE_REPLACE, r->requestor, answer.property, offer->type, 8,
                                    static_cast<uint32_t>(offer->bytes->size()), offer->bytes->data());
            } else if (offer) {
                // Too large for one request: announce the size and send the
                // pieces as the requestor deletes the property.
                uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(d.c, r->requestor, XCB_CW_EVENT_MASK, &events);
                uint32_t size = static_cast<uint32_t>(std::min<size_t>(offer->bytes->size(), UINT32_MAX));
                xcb_change_property(d.c, XCB_PROP_MODE_REPLACE, r->requestor, answer.property, d.atom[A_INCR], 32, 1,
                                    &size);
                transfers.push_back({r->requestor, answer.property, offer->type, offer->bytes, 0,
                                     now_ms() + 10 * ANSWER_MS});
            } else {
                answer.property = XCB_NONE;
            }
            xcb_send_event(d.c, 0, r->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&answer));
        }
        std::free(e);
        xcb_flush(d.c);
    }
    _exit(0);
}

// What the clipboard holds, read through the display.
Clipboard read_display(Display& d) {
    Clipboard out;
    if (d.owner() == XCB_NONE) return out;
    Clipboard failed;
    failed.kind = Clipboard::Failed;
    std::vector<uint8_t> data;
    xcb_atom_t type = XCB_NONE;
    std::vector<xcb_atom_t> offered;
    Got got = convert(d, d.atom[A_TARGETS], &data, &type);
    if (got == Got::Failed) return failed;
    if (got == Got::Data && (type == d.atom[A_ATOM] || type == d.atom[A_TARGETS])) {
        offered.resize(data.size() / sizeof(xcb_atom_t));
        std::memcpy(offered.data(), data.data(), offered.size() * sizeof(xcb_atom_t));
    } else {
        // An owner that lists no targets may still give text.
        offered = {d.atom[A_UTF8], d.atom[A_STRING]};
    }
    auto has = [&](AtomName a) { return std::find(offered.begin(), offered.end(), d.atom[a]) != offered.end(); };

    // Files first: a file manager offers the paths as text too. Then text,
    // then an image in the first encoding offered.
    const AtomName order[] = {A_URI_LIST, A_UTF8, A_TEXT_PLAIN_UTF8, A_STRING, A_TEXT_PLAIN,
                              A_PNG,      A_JPEG, A_GIF,             A_BMP};
    for (AtomName a : order) {
        if (!has(a)) continue;
        got = convert(d, d.atom[a], &data, &type);
        if (got == Got::Failed) return failed;
        if (got == Got::Refused) continue;
        if (a == A_URI_LIST) {
            if (parse_uri_list(data, &out.files)) {
                out.kind = Clipboard::Files;
                return out;
            }
            out.files.clear();
        } else if (a == A_PNG || a == A_JPEG || a == A_GIF || a == A_BMP) {
            out.kind = Clipboard::Image;
            out.image = std::move(data);
            return out;
        } else {
            out.kind = Clipboard::Text;
            out.text = clean_text(data, a == A_STRING);
            return out;
        }
    }
    return out;
}

constexpr char READER_NAME[] = "zem-clipboard-reader";

// Start-up hook: a run of the program under the reader's or the server's
// name is that helper, before anything else of the program starts (every
// program that links the runtime can use the clipboard, so it sits here
// rather than in one main). The server's first process ends at once; the
// second serves.
__attribute__((constructor)) void clipboard_helper_entry(int argc, char** argv, char**) {
    if (argc != 1 || !argv || !argv[0]) return;
    if (std::strcmp(argv[0], READER_NAME) == 0) {
        signal(SIGPIPE, SIG_IGN);
        beat_fd = 4;
        Display d;
        if (!d.open()) {
            report(4, 'n');
            _exit(0);
        }
        heartbeat();
        write_all(4, pack(read_display(d)));
        _exit(0);
    }
    if (std::strcmp(argv[0], SERVER_NAME) != 0) return;
    pid_t server = fork();
    if (server != 0) _exit(server < 0 ? 1 : 0);
    std::string packed;
    char buffer[65536];
    lseek(3, 0, SEEK_SET);
    for (;;) {
        ssize_t n = read(3, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        packed.append(buffer, static_cast<size_t>(n));
    }
    close(3);
    Clipboard content;
    if (!unpack(packed, &content)) _exit(1);
    serve(content, 4);
}

// Starts a helper: this program again under the name, a fresh process
// rather than a fork (which would keep a copy of our whole heap alive as
// long as a server serves), in a session of its own with /dev/null for its
// standard descriptors; the content, when given, as a memory file on
// descriptor 3, and the answer pipe on 4, whose read end goes to `answer`.
// Answers its pid, or -1.
pid_t start_helper(const char* name, const std::string* content, int* answer) {
    *answer = -1;
    int content_fd = -1;
    if (content) {
        int memory = memfd_create("zem-clipboard", MFD_CLOEXEC);
        // Moved out of the way of the descriptors the helper gets them as.
        if (memory >= 0 && write_all(memory, *content)) content_fd = fcntl(memory, F_DUPFD_CLOEXEC, 10);
        if (memory >= 0) close(memory);
        if (content_fd < 0) return -1;
    }
    int ends[2];
    int answer_end = -1;
    if (pipe2(ends, O_CLOEXEC) == 0) {
        answer_end = fcntl(ends[1], F_DUPFD_CLOEXEC, 10);
        close(ends[1]);
        if (answer_end < 0) close(ends[0]);
    }
    pid_t pid = -1;
    if (answer_end >= 0) {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
        if (content_fd >= 0) posix_spawn_file_actions_adddup2(&actions, content_fd, 3);
        posix_spawn_file_actions_adddup2(&actions, answer_end, 4);
        posix_spawn_file_actions_addclosefrom_np(&actions, 5);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigfillset(&defaults);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
        std::string argv0 = name;
        char* argv[] = {argv0.data(), nullptr};
        if (posix_spawn(&pid, "/proc/self/exe", &actions, &attributes, argv, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(answer_end);
        if (pid > 0) *answer = ends[0];
        else close(ends[0]);
    }
    if (content_fd >= 0) close(content_fd);
    return pid;
}

void reap(pid_t pid) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

bool x11_clipboard_read(Clipboard* out) {
    if (!display_named()) return false;
    // The reader does the talking: a display that stops answering (even
    // while we connect) costs us a killed helper, never a hang.
    int answer = -1;
    pid_t reader = start_helper(READER_NAME, nullptr, &answer);
    std::string got;
    bool finished = false;
    if (reader > 0) {
        // Heartbeats, then the packed content up to the end of the pipe.
        int64_t deadline = now_ms() + ANSWER_MS + 1000;
        char buffer[65536];
        for (;;) {
            pollfd p{answer, POLLIN, 0};
            int n = poll(&p, 1, static_cast<int>(std::max<int64_t>(0, deadline - now_ms())));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            ssize_t k = read(answer, buffer, sizeof buffer);
            if (k < 0 && errno == EINTR) continue;
            if (k < 0) break;
            if (k == 0) {
                finished = true;
                break;
            }
            size_t at = 0;
            while (got.empty() && at < static_cast<size_t>(k) && buffer[at] == '.') ++at;
            got.append(buffer + at, static_cast<size_t>(k) - at);
            deadline = now_ms() + ANSWER_MS + 1000;
        }
        if (!finished) kill(reader, SIGKILL);
        reap(reader);
        close(answer);
    }
    if (finished && got == "n") return false;
    if (!finished || !unpack(got, out)) {
        *out = Clipboard{};
        out->kind = Clipboard::Failed;
    }
    return true;
}

bool x11_clipboard_write(const Clipboard& content, bool* ok) {
    if (!display_named()) return false;
    *ok = false;
    Clipboard sent;
    const Clipboard& c = content.kind == Clipboard::Failed ? sent : content;
    std::string packed = pack(c);
    int answer = -1;
    pid_t first = start_helper(SERVER_NAME, &packed, &answer);
    if (first <= 0) return true;
    // Its first process ends at once and is waited for here, so no child
    // of ours is left behind unwaited.
    reap(first);
    char status = 0;
    int64_t deadline = now_ms() + 2 * ANSWER_MS;
    for (;;) {
        pollfd p{answer, POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(std::max<int64_t>(0, deadline - now_ms())));
        if (n < 0 && errno == EINTR) continue;
        if (n > 0 && read(answer, &status, 1) < 0 && errno == EINTR) continue;
        break;
    }
    close(answer);
    if (status == 'n') return false;
    *ok = status == '1';
    return true;
}

}  // namespace platform
