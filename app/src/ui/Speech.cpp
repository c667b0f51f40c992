#include "Speech.h"

#include <mutex>
#include <set>
#include <string>

#include <QCoreApplication>

#include <engines/Tolvani.h>

#include "Trace.h"

namespace brevon {

namespace {

// The engine posts from its own thread; windows come and go on the UI thread.
std::mutex gTargetsMutex;
std::set<QObject*> gTargets;

} // namespace

void PostSpeechEnd(void* window, std::uint32_t message) {
    if (message != engines::MM_WOM_CLOSE || !window) return;
    std::lock_guard lock(gTargetsMutex);
    const auto target = gTargets.find(static_cast<QObject*>(window));
    // postEvent is safe from any thread; the object cannot go away while the lock is held.
    if (target != gTargets.end()) QCoreApplication::postEvent(*target, new SpeechEndEvent);
}

QEvent::Type SpeechEndEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

SpeechEndEvent::SpeechEndEvent() : QEvent(EventType()) {}

SpeechTarget::SpeechTarget(QObject* window) : window_(window) {
    std::lock_guard lock(gTargetsMutex);
    gTargets.insert(window_);
}

SpeechTarget::~SpeechTarget() {
    std::lock_guard lock(gTargetsMutex);
    gTargets.erase(window_);
}

} // namespace brevon
