// A window-message timer as the shell uses it, so the bar's behaviour can be driven by a fake.
#pragma once

namespace brevon {

// It ticks while enabled with an interval above zero. Enabling a running timer or setting the
// interval it already has does not restart its countdown; a new interval, or enabling a stopped
// timer, does.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void SetInterval(int milliseconds) = 0;
    virtual bool Enabled() const = 0;
    virtual int Interval() const = 0;
};

} // namespace brevon
