// The software timer service keeps the promises the light module relies on.
#include "timer.h"
#include "timer_service.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Log {
    std::vector<std::pair<int, uint32_t>> runs; // (record id, service time)
};
Log *log_ptr = nullptr;
timer_event_t a, b;
int self_rearms_left = 0;
uint32_t rearm_value = 0;

void note_a(void *) {
    log_ptr->runs.push_back({1, timer_service_now()});
}
void note_b(void *) {
    log_ptr->runs.push_back({2, timer_service_now()});
}
void rearm_self(void *) {
    log_ptr->runs.push_back({1, timer_service_now()});
    if (self_rearms_left-- > 0) {
        timer_set_value(&a, rearm_value);
        timer_start(&a);
    }
}
void stop_b_and_rearm_a(void *) {
    log_ptr->runs.push_back({1, timer_service_now()});
    timer_stop(&b);
}

class TimerService : public ::testing::Test {
  protected:
    void SetUp() override {
        timer_service_reset();
        a = {};
        b = {};
        log_ptr = &log;
    }
    Log log;
};

} // namespace

TEST_F(TimerService, RunsACallbackOnceAfterItsIntervalAndKeepsTheInterval) {
    timer_init(&a, note_a);
    timer_set_value(&a, 300);
    EXPECT_EQ(timer_start(&a), 0);
    EXPECT_EQ(a.timestamp, 300u);
    timer_service_advance(299);
    EXPECT_TRUE(log.runs.empty());
    timer_service_advance(1);
    ASSERT_EQ(log.runs.size(), 1u);
    EXPECT_EQ(log.runs[0].second, 300u);
    timer_service_advance(5000);
    EXPECT_EQ(log.runs.size(), 1u);
    EXPECT_EQ(a.timestamp, 300u);
}

TEST_F(TimerService, ArmingAPendingRecordLeavesItPendingOnceFromTheLastStart) {
    timer_init(&a, note_a);
    timer_set_value(&a, 100);
    timer_start(&a);
    timer_service_advance(60);
    timer_init(&a, note_a); // binding again must not disturb the pending run
    timer_start(&a);
    timer_start(&a);
    uint32_t due = 0;
    ASSERT_EQ(timer_service_next_due_in(&due), 1);
    EXPECT_EQ(due, 100u);
    timer_service_advance(1000);
    ASSERT_EQ(log.runs.size(), 1u);
    EXPECT_EQ(log.runs[0].second, 160u);
}

TEST_F(TimerService, SelfRearmingCountsFromTheDueTimeEvenInOneLongAdvance) {
    timer_init(&a, rearm_self);
    timer_set_value(&a, 1000);
    rearm_value = 1000;
    self_rearms_left = 9;
    timer_start(&a);
    timer_service_advance(250);
    timer_service_advance(9999); // one long step must not drift either
    timer_service_advance(100000);
    ASSERT_EQ(log.runs.size(), 10u);
    for (uint32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(log.runs[i].second, 1000u * (i + 1));
    }
}

TEST_F(TimerService, ZeroIntervalWaitsForTheNextMillisecondInsteadOfSpinning) {
    timer_init(&a, rearm_self);
    timer_set_value(&a, 0);
    rearm_value = 0;
    self_rearms_left = 1000000;
    timer_start(&a);
    timer_service_advance(5);
    ASSERT_EQ(log.runs.size(), 5u);
    EXPECT_EQ(log.runs.back().second, 5u);
}

TEST_F(TimerService, CallbackMayStopAnotherRecordDueAtTheSameTime) {
    timer_init(&a, stop_b_and_rearm_a);
    timer_init(&b, note_b);
    timer_set_value(&a, 50);
    timer_set_value(&b, 50);
    timer_start(&a);
    timer_start(&b);
    timer_service_advance(100);
    ASSERT_EQ(log.runs.size(), 1u);
    EXPECT_EQ(log.runs[0].first, 1);
    EXPECT_FALSE(b.is_started);
}

TEST_F(TimerService, EqualDueTimesRunInArmingOrderAndStopIsHarmless) {
    timer_init(&a, note_a);
    timer_init(&b, note_b);
    timer_stop(&a); // not pending: nothing happens
    timer_set_value(&b, 20);
    timer_set_value(&a, 20);
    timer_start(&b);
    timer_start(&a);
    timer_service_advance(20);
    ASSERT_EQ(log.runs.size(), 2u);
    EXPECT_EQ(log.runs[0].first, 2);
    EXPECT_EQ(log.runs[1].first, 1);
    EXPECT_EQ(timer_service_next_due_in(nullptr), 0);
}

TEST_F(TimerService, StoppedRecordNeverRunsAndNullRecordsAreRefused) {
    timer_init(&a, note_a);
    timer_set_value(&a, 10);
    timer_start(&a);
    timer_stop(&a);
    timer_service_advance(100);
    EXPECT_TRUE(log.runs.empty());
    EXPECT_EQ(timer_start(nullptr), 1);
    timer_event_t unbound = {};
    EXPECT_EQ(timer_start(&unbound), 1);
}

TEST_F(TimerService, DueTimesSurviveTheClockWrapping) {
    timer_service_advance(UINT32_MAX - 10);
    timer_init(&a, note_a);
    timer_set_value(&a, 30);
    timer_start(&a);
    timer_service_advance(29);
    EXPECT_TRUE(log.runs.empty());
    timer_service_advance(1);
    ASSERT_EQ(log.runs.size(), 1u);
    EXPECT_EQ(log.runs[0].second, 19u);
}
