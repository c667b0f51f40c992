// Global keys on X11: passive grabs on the root window, on a connection of our own so that the
// toolkit's event handling never sees (or swallows) them.
#include <platform/GlobalKeys.h>

#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include <xcb/xcb.h>

namespace platform {

namespace {

constexpr std::uint32_t kNumLockKeysym = 0xff7f;

class X11Keys final : public GlobalKeys {
public:
    X11Keys(xcb_connection_t* connection, xcb_window_t root, Handler handler)
        : connection_(connection), root_(root), handler_(std::move(handler)) {
        numLock_ = ModifierMaskOf(kNumLockKeysym);
        if (numLock_ == 0) numLock_ = XCB_MOD_MASK_2;
    }
    ~X11Keys() override {
        ReleaseAll();
        xcb_disconnect(connection_);
    }

    GrabResult Grab(int id, const KeyChord& chord) override {
        Release(id);
        if (xcb_connection_has_error(connection_)) return GrabResult::Unavailable;
        const xcb_keycode_t keycode = KeycodeOf(chord.keysym);
        if (keycode == 0) return GrabResult::NoSuchKey;
        const std::uint16_t modifiers = MaskOf(chord.modifiers);
        // The lock keys are modifiers too: a press with NumLock or CapsLock on must count the
        // same, so each combination of them is grabbed as well.
        std::vector<xcb_void_cookie_t> cookies;
        for (const std::uint16_t locks : LockVariants())
            cookies.push_back(xcb_grab_key_checked(
                connection_, 1, root_, static_cast<std::uint16_t>(modifiers | locks), keycode,
                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        // BadAccess: another client holds one of the combinations. Any other refusal leaves the
        // key just as unusable, so the grabs that did succeed are given back either way.
        bool refused = false;
        for (const xcb_void_cookie_t cookie : cookies) {
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
                refused = true;
                std::free(error);
            }
        }
        if (refused) {
            Ungrab(keycode, modifiers);
            xcb_flush(connection_);
            return GrabResult::Taken;
        }
        grabs_[id] = {keycode, modifiers};
        return GrabResult::Grabbed;
    }

    void ReleaseAll() override {
        while (!grabs_.empty())
            Release(grabs_.begin()->first);
        // A round trip: the keys are free for other programs once this returns.
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

    bool Available() const override { return xcb_connection_has_error(connection_) == 0; }

    int EventDescriptor() const override { return xcb_get_file_descriptor(connection_); }

    void Dispatch() override {
        std::vector<int> pressed;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const std::uint8_t type = event->response_type & 0x7f;
            if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
                const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
                if (type == XCB_KEY_RELEASE) {
                    lastRelease_ = {key->detail, key->time};
                } else if (!(key->detail == lastRelease_.first &&
                             key->time == lastRelease_.second)) {
                    // A held key repeats as a release and a press at the same moment: only the
                    // first press counts.
                    const std::uint16_t state = key->state & kModifierBits & ~LockBits();
                    for (const auto& [id, grab] : grabs_)
                        if (grab.keycode == key->detail && grab.modifiers == state)
                            pressed.push_back(id);
                }
            }
            std::free(event);
        }
        for (const int id : pressed)
            if (handler_) handler_(id);
    }

private:
    struct Held {
        xcb_keycode_t keycode = 0;
        std::uint16_t modifiers = 0;
    };

    static constexpr std::uint16_t kModifierBits = 0xff;

    std::uint16_t LockBits() const {
        return static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLock_);
    }

    std::vector<std::uint16_t> LockVariants() const {
        return {0, XCB_MOD_MASK_LOCK, numLock_,
                static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLock_)};
    }

    static std::uint16_t MaskOf(unsigned modifiers) {
        std::uint16_t mask = 0;
        if (modifiers & kShift) mask |= XCB_MOD_MASK_SHIFT;
        if (modifiers & kCtrl) mask |= XCB_MOD_MASK_CONTROL;
        if (modifiers & kAlt) mask |= XCB_MOD_MASK_1;
        if (modifiers & kMeta) mask |= XCB_MOD_MASK_4;
        return mask;
    }

    void Release(int id) {
        const auto held = grabs_.find(id);
        if (held == grabs_.end()) return;
        const Held grab = held->second;
        grabs_.erase(held);
        Ungrab(grab.keycode, grab.modifiers);
    }

    void Ungrab(xcb_keycode_t keycode, std::uint16_t modifiers) {
        for (const std::uint16_t locks : LockVariants())
            xcb_ungrab_key(connection_, keycode, root_,
                           static_cast<std::uint16_t>(modifiers | locks));
    }

    // The first key of the keyboard that gives the keysym at any level; 0 when none does.
    xcb_keycode_t KeycodeOf(std::uint32_t keysym) const {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        const xcb_keycode_t first = setup->min_keycode;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
            connection_,
            xcb_get_keyboard_mapping(connection_, first, static_cast<std::uint8_t>(count)),
            nullptr);
        if (mapping == nullptr) return 0;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping);
        const int perKey = mapping->keysyms_per_keycode;
        const int total = xcb_get_keyboard_mapping_keysyms_length(mapping);
        xcb_keycode_t found = 0;
        for (int i = 0; i < total && found == 0; ++i)
            if (syms[i] == keysym && perKey > 0)
                found = static_cast<xcb_keycode_t>(first + i / perKey);
        std::free(mapping);
        return found;
    }

    // The modifier bit that a key giving the keysym sets, or 0.
    std::uint16_t ModifierMaskOf(std::uint32_t keysym) const {
        const xcb_keycode_t keycode = KeycodeOf(keysym);
        if (keycode == 0) return 0;
        xcb_get_modifier_mapping_reply_t* mapping = xcb_get_modifier_mapping_reply(
            connection_, xcb_get_modifier_mapping(connection_), nullptr);
        if (mapping == nullptr) return 0;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping);
        const int perModifier = mapping->keycodes_per_modifier;
        std::uint16_t mask = 0;
        for (int modifier = 0; modifier < 8 && mask == 0; ++modifier)
            for (int i = 0; i < perModifier; ++i)
                if (codes[modifier * perModifier + i] == keycode)
                    mask = static_cast<std::uint16_t>(1u << modifier);
        std::free(mapping);
        return mask;
    }

    xcb_connection_t* connection_;
    xcb_window_t root_;
    Handler handler_;
    std::uint16_t numLock_ = 0;
    std::map<int, Held> grabs_;
    std::pair<xcb_keycode_t, xcb_timestamp_t> lastRelease_{0, 0};
};

} // namespace

std::unique_ptr<GlobalKeys> OpenGlobalKeys(const char* display, GlobalKeys::Handler handler) {
    if (display == nullptr) {
        const char* named = std::getenv("DISPLAY");
        if (named == nullptr || named[0] == '\0') return NoGlobalKeys();
    }
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return NoGlobalKeys();
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        return NoGlobalKeys();
    }
    return std::make_unique<X11Keys>(connection, screens.data->root, std::move(handler));
}

} // namespace platform
