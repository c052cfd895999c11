// The live lamp: inputs as they come, in virtual time, give a session whose
// recording lampsim replays with the same CSV, byte for byte.
#include "cli.h"
#include "live_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string replayed_csv(const std::string &recording, std::string &err_text) {
    char dir_template[] = "/tmp/lampsim_live_XXXXXX";
    const std::string dir = mkdtemp(dir_template);
    const std::string lamp = dir + "/live.lamp", csv = dir + "/live.csv";
    std::ofstream(lamp) << recording;
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    const int status =
        lampsim::run_command_line({lamp, "--quiet", "--csv", csv}, {stdin, out, err, nullptr});
    std::rewind(err);
    char buf[512] = {};
    err_text = std::string(buf, std::fread(buf, 1, sizeof buf - 1, err));
    (void)std::fclose(out);
    (void)std::fclose(err);
    std::stringstream text;
    text << std::ifstream(csv).rdbuf();
    (void)std::system(("rm -rf " + dir).c_str());
    return status == 0 ? text.str() : "status " + std::to_string(status);
}

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

} // namespace

TEST(LiveSession, ASessionReplaysWithTheSameCsvAndAHeldButtonRepeatsInVirtualTime) {
    std::string recording, csv;
    {
        lampsim::live_session s;
        EXPECT_FALSE(s.press("bright+").ok) << "no power yet";
        ASSERT_TRUE(s.configure("mode=cw gradual=800").ok);
        ASSERT_TRUE(s.supply(true).ok);
        s.advance(2500000);
        EXPECT_EQ(s.view().out(0) + s.view().out(1), 18000) << "faded in, full brightness";
        ASSERT_TRUE(s.press("power").ok); // off
        s.release("power");
        s.advance(1000000);
        ASSERT_TRUE(s.press("power").ok); // on again
        s.advance(1000000);
        ASSERT_TRUE(s.press("bright-").ok); // a step
        s.release("bright-");
        s.advance(500001);
        ASSERT_TRUE(s.press("bright+").ok); // held 1.5 s: repeats at 200 ms
        s.advance(1500000);
        s.release("bright+");
        s.advance(1000000);
        const lampsim::live_session::reply blink = s.send("blink on 3 500");
        EXPECT_TRUE(blink.ok);
        EXPECT_NE(blink.text.find("> blink on 3 500  => LIGHT_OK"), std::string::npos)
            << blink.text;
        EXPECT_FALSE(s.send("bright 70000").ok);
        s.advance(4000000);
        ASSERT_TRUE(s.supply(false).ok);
        s.advance(1000000);
        ASSERT_TRUE(s.supply(true).ok);
        s.advance(3000000);
        EXPECT_GE(s.newest_record_slot(), 0) << "the hold's end saved the record";
        recording = s.recording();
        csv = s.csv();
    }
    EXPECT_EQ(count(recording, " adjust bright+\n"), 8u) << recording; // 5 s .. 6.4 s
    EXPECT_NE(recording.find("6.400001s adjust bright+\n"), std::string::npos) << recording;
    EXPECT_EQ(recording.find("70000"), std::string::npos) << "a refused line is not recorded";
    std::string err;
    EXPECT_EQ(replayed_csv(recording, err), csv) << err;
    EXPECT_GT(count(csv, "\n"), 1000u);
}
