// A tick source for the progress page that the test advances by hand.
#ifndef TESTS_CONSOLE_FAKE_PAGE_CLOCK_H
#define TESTS_CONSOLE_FAKE_PAGE_CLOCK_H

#include "wizard/start_bk_widget.h"

namespace consoletest {

class FakePageClock : public PageClock {
public:
    void start(int milliseconds) override
    {
        active = true;
        interval = milliseconds;
        ++starts;
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }

    // n seconds pass; the page hears them only while the clock runs.
    void advance(int seconds = 1)
    {
        for (int i = 0; i < seconds; ++i) {
            if (active)
                emit timeout();
        }
    }

    bool active = false;
    int interval = 0;
    int starts = 0;
};

}  // namespace consoletest

#endif
