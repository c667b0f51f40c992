#include "EndSignals.h"

#include <utility>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <platform/EndRequests.h>

namespace brevon {

void OnEndSignal(std::function<void()> end) {
    const int requests = platform::CatchEndRequests();
    if (requests < 0) return;
    auto* notifier =
        new QSocketNotifier(requests, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [end = std::move(end)] {
        platform::ClearEndRequests();
        end();
    });
}

} // namespace brevon
