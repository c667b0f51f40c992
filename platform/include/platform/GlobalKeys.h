// Keys that reach brevon from any program: a key with its modifiers is taken from the desktop
// (an X11 grab on the root window, a Windows hot key) and each press is handed to the owner.
// A key another program holds already is refused on its own; the others still work.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum KeyModifier : unsigned {
    kShift = 1u << 0,
    kCtrl = 1u << 1,
    kAlt = 1u << 2,
    kMeta = 1u << 3,
};

// One key with its modifiers, in the text form "Ctrl+Alt+Shift+P" (the modifiers in any order,
// names in any case). The key is one of a fixed set: letters, digits, F1 to F24, the arrows,
// Home, End, PgUp, PgDown, Ins, Del, Space, "," and ".".
struct KeyChord {
    unsigned modifiers = 0;
    std::string key;              // the key's own name, as KeyChordText writes it
    std::uint32_t keysym = 0;     // X11
    std::uint16_t virtualKey = 0; // Windows

    bool operator==(const KeyChord& other) const {
        return modifiers == other.modifiers && key == other.key;
    }
};

// Empty for a text that names no key of the set, a key without a modifier (it would take a
// key away from every other program) or a modifier named twice.
std::optional<KeyChord> ParseKeyChord(std::string_view text);
// "Ctrl+Alt+Shift+Meta+" and the key, the modifiers in this order.
std::string KeyChordText(const KeyChord& chord);

enum class GrabResult {
    Grabbed,
    Taken,       // another program holds the key
    Unavailable, // this desktop lets no program take keys (no X11 display, Wayland)
    NoSuchKey,   // the keyboard has no key that gives this one
};

class GlobalKeys {
public:
    using Handler = std::function<void(int id)>;

    virtual ~GlobalKeys() = default;

    // Takes the key for id, giving up what id held before. Presses of it call the handler with id.
    virtual GrabResult Grab(int id, const KeyChord& chord) = 0;
    // Gives every key back.
    virtual void ReleaseAll() = 0;
    // Whether keys can be taken at all here.
    virtual bool Available() const = 0;
    // A descriptor that turns readable when presses wait; the owner then calls Dispatch. -1 when
    // presses arrive through the thread's own message loop (Windows), which needs no help.
    virtual int EventDescriptor() const = 0;
    // Hands every waiting press to the handler, without blocking.
    virtual void Dispatch() = 0;
};

// Keys on the desktop this process runs on: on X11 the display named (null: $DISPLAY), on its
// own connection; without one, keys that are never Available.
std::unique_ptr<GlobalKeys> OpenGlobalKeys(const char* display, GlobalKeys::Handler handler);

// Keys that are never Available, for a desktop that lets no program take keys.
std::unique_ptr<GlobalKeys> NoGlobalKeys();

} // namespace platform
