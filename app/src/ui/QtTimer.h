// A window-message timer on a QTimer: it ticks while enabled with an interval above zero, and
// keeps its countdown when told what it already is.
#pragma once

#include <QObject>
#include <QTimer>

#include <app/Timer.h>

namespace brevon {

class QtTimer final : public Timer {
public:
    explicit QtTimer(QObject* owner) : timer_(owner) {}

    // The tick goes to receiver's slot or functor, on the owner's thread.
    template <typename Functor> void OnTick(QObject* receiver, Functor&& tick) {
        QObject::connect(&timer_, &QTimer::timeout, receiver, std::forward<Functor>(tick));
    }

    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        Update();
    }
    void SetInterval(int milliseconds) override {
        if (milliseconds == interval_) return;
        interval_ = milliseconds;
        // A new interval starts a fresh countdown.
        timer_.stop();
        Update();
    }
    bool Enabled() const override { return enabled_; }
    int Interval() const override { return interval_; }
    bool Running() const { return timer_.isActive(); }

private:
    void Update() {
        if (enabled_ && interval_ > 0) {
            if (!timer_.isActive()) timer_.start(interval_);
        } else {
            timer_.stop();
        }
    }

    QTimer timer_;
    bool enabled_ = false;
    int interval_ = 0;
};

} // namespace brevon
