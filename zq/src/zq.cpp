// The exported C surface: each export is a thin shim that catches everything, so no exception
// crosses into the caller.
#include "zq/zq.h"

#include <cstring>
#include <limits>
#include <mutex>
#include <string>

#include "AlineaHerstellen.h"
#include "NumberSolver.h"
#include "RuleFile.h"
#include "Schoonmaken.h"

namespace {

template <class Engine> struct State {
    std::mutex mutex;
    Engine engine;
    std::string result;
};

template <class Engine> State<Engine>& state() {
    static State<Engine> s;
    return s;
}

template <class Engine> int32_t start(const char* folder) noexcept {
    try {
        auto& s = state<Engine>();
        std::lock_guard lock(s.mutex);
        s.engine.clearRules();
        if (folder == nullptr) return 0;
        const auto rules = zq::RuleFile::load(folder);
        if (!rules) return 0;
        s.engine.setRules(*rules);
        return 1;
    } catch (...) {
        return 0;
    }
}

template <class Engine, class Run> int32_t retrieve(const char* text, Run run) noexcept {
    auto& s = state<Engine>();
    std::lock_guard lock(s.mutex);
    s.result.clear();
    if (text == nullptr) return -1;
    try {
        const std::size_t length = std::strlen(text);
        constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<int32_t>::max());
        if (length > kMax / 2) return -1; // the result may grow; keep its length a positive int32
        s.result = run(s.engine, std::string_view(text, length));
        if (s.result.size() > kMax) {
            s.result.clear();
            return -1;
        }
        return static_cast<int32_t>(s.result.size());
    } catch (...) {
        s.result.clear();
        std::string().swap(s.result);
        return -1;
    }
}

template <class Engine> const char* text() noexcept {
    auto& s = state<Engine>();
    std::lock_guard lock(s.mutex);
    return s.result.c_str();
}

template <class Engine> void clear() noexcept {
    auto& s = state<Engine>();
    std::lock_guard lock(s.mutex);
    std::string().swap(s.result);
}

template <class Engine> void stop() noexcept {
    auto& s = state<Engine>();
    std::lock_guard lock(s.mutex);
    std::string().swap(s.result);
    s.engine.clearRules();
}

using zq::AlineaHerstellen;
using zq::NumberSolver;
using zq::Schoonmaken;

} // namespace

extern "C" {

ZQ_API int32_t ZQ_Schoonmaken_Start(const char* programFolder) {
    return start<Schoonmaken>(programFolder);
}
ZQ_API int32_t ZQ_AlineaHerstellen_Start(const char* programFolder) {
    return start<AlineaHerstellen>(programFolder);
}
ZQ_API int32_t ZQ_NumberSolver_Start(const char* programFolder) {
    return start<NumberSolver>(programFolder);
}

ZQ_API int32_t ZQ_Schoonmaken_RetrieveBufferLen(const char* text, int32_t skipQuotedText) {
    return retrieve<Schoonmaken>(text, [&](const Schoonmaken& e, std::string_view t) {
        return e.process(t, skipQuotedText != 0);
    });
}
ZQ_API int32_t ZQ_AlineaHerstellen_RetrieveBufferLen(const char* text) {
    return retrieve<AlineaHerstellen>(
        text, [](const AlineaHerstellen& e, std::string_view t) { return e.process(t); });
}
ZQ_API int32_t ZQ_NumberSolver_RetrieveBufferLen(const char* text) {
    return retrieve<NumberSolver>(
        text, [](const NumberSolver& e, std::string_view t) { return e.process(t); });
}

ZQ_API const char* ZQ_Schoonmaken_RetrieveText(void) {
    return text<Schoonmaken>();
}
ZQ_API const char* ZQ_AlineaHerstellen_RetrieveText(void) {
    return text<AlineaHerstellen>();
}
ZQ_API const char* ZQ_NumberSolver_RetrieveText(void) {
    return text<NumberSolver>();
}

ZQ_API void ZQ_Schoonmaken_Clear(void) {
    clear<Schoonmaken>();
}
ZQ_API void ZQ_AlineaHerstellen_Clear(void) {
    clear<AlineaHerstellen>();
}
ZQ_API void ZQ_NumberSolver_Clear(void) {
    clear<NumberSolver>();
}

ZQ_API void ZQ_Schoonmaken_Stop(void) {
    stop<Schoonmaken>();
}
ZQ_API void ZQ_AlineaHerstellen_Stop(void) {
    stop<AlineaHerstellen>();
}
ZQ_API void ZQ_NumberSolver_Stop(void) {
    stop<NumberSolver>();
}

} // extern "C"
