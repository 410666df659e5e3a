// Clock and timers of the back end.
#include "gui/terminal/timers.h"

#include <ctime>

namespace tui {

double clock_now() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double clock_elapsed(double start) { return clock_now() - start; }

void Timers::add(uint32_t interval, uint32_t target, bool one_shot) {
    Timer t;
    t.interval = interval;
    t.target = target;
    t.one_shot = one_shot;
    list_.push_back(t);
}

uint32_t Timers::remove(uint32_t target) {
    for (size_t i = list_.size(); i-- > 0;) {
        if (list_[i].target != target) continue;
        list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(i));
        return static_cast<uint32_t>(i);
    }
    return 0;
}

void Timers::run(uint32_t ms, const std::function<void(uint32_t)>& fire) {
    // A callback may add or remove timers: walk by index over what is there.
    for (size_t i = 0; i < list_.size(); ++i) {
        Timer& t = list_[i];
        t.elapsed += ms;
        if (t.fired || t.elapsed < t.interval) continue;
        t.elapsed = 0;
        if (t.one_shot) t.fired = true;
        uint32_t target = t.target;
        fire(target);
    }
}

}  // namespace tui
