// The back end's clock, timers and double-click timing.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

namespace tui {

// Milliseconds of the monotonic clock.
double clock_now();
double clock_elapsed(double start);

struct Timer {
    bool one_shot = false;
    bool fired = false;
    uint32_t elapsed = 0;   // milliseconds since it last fired
    uint32_t interval = 0;  // milliseconds
    uint32_t target = 0;    // the widget that receives the event
};

class Timers {
public:
    // A repeating timer for the target.
    void add(uint32_t interval, uint32_t target, bool one_shot = false);
    // Removes the last timer of the target; answers its 0-based position,
    // or 0 when none matched.
    uint32_t remove(uint32_t target);
    // Advances every timer by ms; each due one calls `fire` with its target.
    // A timer fires at most once per run however long the pass took.
    void run(uint32_t ms, const std::function<void(uint32_t target)>& fire);
    void clear() { list_.clear(); }
    size_t size() const { return list_.size(); }

private:
    std::vector<Timer> list_;
};

// Double-click timing, counted in passes of 33 ms.
struct Clicks {
    int state = 0;     // 0 idle, 2 after a click, 10 after a double click
    int counter = 0;   // milliseconds since the last click
    // One pass went by.
    void tick() {
        if (state == 2 && counter < 800) counter += 33;
    }
    // A click was recognised: true when it is the second of a double click.
    bool click_is_double() const { return state == 2 && counter < 500; }
    // After a left-button release (a double click sets state 10 first).
    void released() {
        state = state == 10 ? 0 : 2;
        counter = 0;
    }
};

}  // namespace tui
