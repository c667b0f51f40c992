#pragma once

// Helpers shared by the socket backings and the TLS layer; not part of the platform interface.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace platform::detail {

// Runs work on a thread of its own and waits at most timeout for its result; empty after a
// time-out, or when goOn, called after every slice of the wait, says to stop. Work still
// running then is abandoned, not stopped (getaddrinfo cannot be interrupted): it finishes on
// its own and its result is destroyed on its thread, so work must own everything it uses and
// must not throw. Throws std::system_error when no thread starts.
template <class T>
std::optional<T> CallWithin(std::chrono::milliseconds timeout, std::function<T()> work,
                            std::chrono::milliseconds slice = std::chrono::milliseconds(50),
                            const std::function<bool()>& goOn = {}) {
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<T> result;
    };
    auto state = std::make_shared<State>();
    std::thread([state, work = std::move(work)] {
        T result = work();
        std::lock_guard lock(state->mutex);
        state->result.emplace(std::move(result));
        state->done.notify_one();
    }).detach();
    const auto end = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(state->mutex);
    while (!state->done.wait_until(lock, (std::min)(end, std::chrono::steady_clock::now() + slice),
                                   [&] { return state->result.has_value(); })) {
        if (std::chrono::steady_clock::now() >= end) return std::nullopt;
        if (!goOn) continue;
        lock.unlock();
        const bool go = goOn();
        lock.lock();
        if (!go) return std::nullopt;
    }
    return std::move(state->result);
}

// "15 s", "0.3 s": time-outs in reasons a user reads.
inline std::string Seconds(std::chrono::milliseconds d) {
    const long long ms = d.count() < 0 ? 0 : static_cast<long long>(d.count());
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += "." + fraction;
    }
    return text + " s";
}

} // namespace platform::detail
