// The chip's events come back through the byte stream: encoded and decoded,
// a run's events are the same events.
#include "event_fanout.h"
#include "host_run.h"
#include "scenario.h"
#include "stream.h"
#include "stream_decode.h"
#include "trace_text.h"

#include "flash_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

// The text of the events given to `fill`.
template <typename F> std::string as_text(F fill) {
    char *buf = nullptr;
    size_t len = 0;
    std::FILE *f = open_memstream(&buf, &len);
    lampsim::trace_text text(f);
    fill(text);
    std::fclose(f);
    std::string out(buf, len);
    std::free(buf);
    return out;
}

void keep(void *ctx, const uint8_t *bytes, uint32_t len) {
    static_cast<std::vector<uint8_t> *>(ctx)->insert(
        static_cast<std::vector<uint8_t> *>(ctx)->end(), bytes, bytes + len);
}

} // namespace

TEST(Stream, EncodedEventsDecodeToTheSameEvents) {
    // Power cycles, a refused and a written save, expectations (whose
    // snapshot holds no result yet: -1), reports, fades.
    const lampsim::parse_result p = lampsim::parse_scenario("0s init\n"
                                                            "expect outputs 0 0\n"
                                                            "1s nvm-fail on\n"
                                                            "save\n"
                                                            "nvm-fail off\n"
                                                            "+1s scene\n"
                                                            "save\n"
                                                            "power-cut\n"
                                                            "+1s init\n"
                                                            "+1s state\n",
                                                            "s");
    ASSERT_TRUE(p.ok) << p.error;
    std::vector<uint8_t> bytes;
    const std::string direct = as_text([&](lampsim::events &text) {
        lampsim::stream::writer writer(keep, &bytes);
        lampsim::event_fanout both;
        both.add(text);
        both.add(writer);
        flash_host_erase_all();
        lampsim::run_on_host(p.value, both);
    });
    EXPECT_NE(direct.find("save 1000000 0 "), std::string::npos) << direct;
    lampsim::stream_extras extras;
    std::string error;
    const std::string decoded = as_text([&](lampsim::events &text) {
        EXPECT_TRUE(lampsim::decode_stream(bytes, p.value.steps.size(), text, extras, error))
            << error;
    });
    EXPECT_TRUE(extras.ended);
    EXPECT_EQ(decoded, direct);
    // Cut short, the stream is refused.
    bytes.resize(bytes.size() - 1);
    as_text([&](lampsim::events &text) {
        EXPECT_FALSE(lampsim::decode_stream(bytes, p.value.steps.size(), text, extras, error));
    });
}
