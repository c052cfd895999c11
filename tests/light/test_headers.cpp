// The records keep their byte layout and one-byte enumerations in C and C++.
#include "light_ctrl.h"

#include <gtest/gtest.h>

extern "C" int c_headers_result_size(void);
extern "C" int c_headers_scene_size(void);
extern "C" int c_headers_record_size(void);

TEST(PublicHeaders, CompileAsCWithTheSameLayout) {
    EXPECT_EQ(c_headers_result_size(), 1);
    EXPECT_EQ(c_headers_scene_size(), 2);
    EXPECT_EQ(c_headers_record_size(), 7);
    EXPECT_EQ(sizeof(light_result_t), 1u);
    EXPECT_EQ(sizeof(bright_mode_t), 1u);
    EXPECT_EQ(sizeof(blink_end_state_t), 1u);
}

TEST(PublicHeaders, RecordsStartAtTheirPowerOnValues) {
    EXPECT_EQ(light_cfg_data.light_way, LIGHT_CW);
    EXPECT_EQ(light_cfg_data.bright_mode, BRIGHT_MODE_CCT);
    EXPECT_EQ(light_cfg_data.gradual_time, 5000u);
}
