// The software timer service keeps the promises the light module relies on.
#include "timer.h"
#include "timer_service.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using runs_t = std::vector<std::pair<int, uint32_t>>; // (record, service time)
runs_t runs;
timer_event_t a, b;
int rearms_left = 0;
uint32_t rearm_value = 0;

void note_a(void *) {
    runs.push_back({1, timer_service_now()});
}
void note_b(void *) {
    runs.push_back({2, timer_service_now()});
}
void rearm_a(void *) {
    note_a(nullptr);
    if (rearms_left-- > 0) {
        timer_set_value(&a, rearm_value);
        timer_start(&a);
    }
}
void stop_b(void *) {
    note_a(nullptr);
    timer_stop(&b);
}

void arm(timer_event_t *t, void (*callback)(void *), uint32_t ms) {
    timer_init(t, callback);
    timer_set_value(t, ms);
    timer_start(t);
}

class TimerService : public ::testing::Test {
  protected:
    void SetUp() override {
        timer_service_reset();
        a = {};
        b = {};
        runs.clear();
    }
};

} // namespace

TEST_F(TimerService, RunsACallbackOnceAfterItsIntervalAndKeepsTheInterval) {
    arm(&a, note_a, 300);
    timer_service_advance(299);
    EXPECT_TRUE(runs.empty());
    timer_service_advance(5001);
    EXPECT_EQ(runs, (runs_t{{1, 300}}));
    EXPECT_EQ(a.timestamp, 300u);
}

TEST_F(TimerService, ArmingAPendingRecordLeavesItPendingOnceFromTheLastStart) {
    arm(&a, note_a, 100);
    timer_service_advance(60);
    timer_init(&a, note_a); // binding again must not disturb the pending run
    timer_start(&a);
    timer_start(&a);
    uint32_t due = 0;
    ASSERT_EQ(timer_service_next_due_in(&due), 1);
    EXPECT_EQ(due, 100u);
    timer_service_advance(1000);
    EXPECT_EQ(runs, (runs_t{{1, 160}}));
}

TEST_F(TimerService, SelfRearmingCountsFromTheDueTimeEvenInOneLongAdvance) {
    rearm_value = 1000;
    rearms_left = 9;
    arm(&a, rearm_a, 1000);
    timer_service_advance(250);
    timer_service_advance(9999); // one long step must not drift either
    timer_service_advance(100000);
    ASSERT_EQ(runs.size(), 10u);
    for (uint32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(runs[i].second, 1000u * (i + 1));
    }
}

TEST_F(TimerService, ZeroIntervalWaitsForTheNextMillisecondInsteadOfSpinning) {
    rearm_value = 0;
    rearms_left = 1000000;
    arm(&a, rearm_a, 0);
    timer_service_advance(5);
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(runs.back().second, 5u);
}

// Records due on one millisecond run in the order they were armed, and a
// callback may stop one that is due with it.
TEST_F(TimerService, EqualDueTimesRunInArmingOrderAndACallbackMayStopTheNext) {
    timer_stop(&a); // not pending: nothing happens
    arm(&b, note_b, 20);
    arm(&a, note_a, 20);
    timer_service_advance(20);
    arm(&a, stop_b, 50);
    arm(&b, note_b, 50);
    timer_service_advance(100);
    EXPECT_EQ(runs, (runs_t{{2, 20}, {1, 20}, {1, 70}}));
    EXPECT_FALSE(b.is_started);
    EXPECT_EQ(timer_service_next_due_in(nullptr), 0);
}

// Stopping or re-arming a record behind another in line takes out that
// record alone.
TEST_F(TimerService, StoppedRecordNeverRunsAndNullOrUnboundRecordsAreRefused) {
    timer_event_t c = {};
    arm(&a, note_a, 10);
    arm(&b, note_b, 20);
    arm(&c, note_b, 30);
    timer_stop(&b);
    timer_set_value(&c, 40);
    timer_start(&c);
    timer_service_advance(100);
    EXPECT_EQ(runs, (runs_t{{1, 10}, {2, 40}}));
    runs.clear();
    arm(&a, note_a, 10);
    timer_stop(&a);
    timer_service_advance(100);
    EXPECT_TRUE(runs.empty());

    timer_init(nullptr, note_a);
    timer_set_value(nullptr, 10);
    timer_stop(nullptr);
    EXPECT_EQ(timer_start(nullptr), 1);
    b = {};
    EXPECT_EQ(timer_start(&b), 1); // no callback bound
    arm(&a, note_a, 10);
    EXPECT_EQ(timer_service_next_due_in(nullptr), 1); // the time is not asked for
}

// A reset forgets what was pending, but leaves the records as they were: one
// still marked pending can be stopped and armed again.
TEST_F(TimerService, RecordsPendingAtAResetCanBeStoppedAndArmedAgain) {
    arm(&a, note_a, 10);
    arm(&b, note_b, 20);
    timer_service_reset();
    timer_service_advance(100);
    EXPECT_TRUE(runs.empty());
    timer_stop(&b);
    EXPECT_FALSE(b.is_started);
    timer_start(&a);
    timer_service_advance(100);
    EXPECT_EQ(runs, (runs_t{{1, 110}}));
}

TEST_F(TimerService, DueTimesSurviveTheClockWrapping) {
    timer_service_advance(UINT32_MAX - 10);
    arm(&a, note_a, 30);
    timer_service_advance(29);
    EXPECT_TRUE(runs.empty());
    timer_service_advance(1);
    EXPECT_EQ(runs, (runs_t{{1, 19}}));
}
