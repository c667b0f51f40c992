// Global keys on Windows: system hot keys registered for a message-only window of our own,
// whose procedure runs when the thread's message loop dispatches WM_HOTKEY.
#include <platform/GlobalKeys.h>

#include <set>
#include <utility>

#include <windows.h>

namespace platform {

namespace {

constexpr wchar_t kWindowClass[] = L"BrevonGlobalKeys";

class HotKeys final : public GlobalKeys {
public:
    explicit HotKeys(Handler handler) : handler_(std::move(handler)) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &HotKeys::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassW(&windowClass); // fails harmlessly when a second object registers again
        window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
        if (window_ != nullptr)
            SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~HotKeys() override {
        ReleaseAll();
        if (window_ != nullptr) DestroyWindow(window_);
    }

    GrabResult Grab(int id, const KeyChord& chord) override {
        if (window_ == nullptr) return GrabResult::Unavailable;
        Release(id);
        UINT modifiers = MOD_NOREPEAT; // a held key is one press
        if (chord.modifiers & kShift) modifiers |= MOD_SHIFT;
        if (chord.modifiers & kCtrl) modifiers |= MOD_CONTROL;
        if (chord.modifiers & kAlt) modifiers |= MOD_ALT;
        if (chord.modifiers & kMeta) modifiers |= MOD_WIN;
        if (!RegisterHotKey(window_, id, modifiers, chord.virtualKey)) return GrabResult::Taken;
        held_.insert(id);
        return GrabResult::Grabbed;
    }

    void ReleaseAll() override {
        while (!held_.empty())
            Release(*held_.begin());
    }

    bool Available() const override { return window_ != nullptr; }
    int EventDescriptor() const override { return -1; }
    void Dispatch() override {}

private:
    void Release(int id) {
        if (held_.erase(id) > 0) UnregisterHotKey(window_, id);
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_HOTKEY) {
            auto* self = reinterpret_cast<HotKeys*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self != nullptr && self->handler_) self->handler_(static_cast<int>(wParam));
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    Handler handler_;
    HWND window_ = nullptr;
    std::set<int> held_;
};

} // namespace

std::unique_ptr<GlobalKeys> OpenGlobalKeys(const char*, GlobalKeys::Handler handler) {
    return std::make_unique<HotKeys>(std::move(handler));
}

} // namespace platform
