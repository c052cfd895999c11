// The serial link's pieces, and lampsim's end of it against a scripted board
// on a local socket: a run that comes back whole passes, one whose frames the
// line garbled, cut or lost never does.
#include "crc32.h"
#include "digest.h"
#include "link.h"
#include "link_budget.h"
#include "port_run.h"
#include "scenario.h"
#include "step_codec.h"
#include "stream.h"
#include "table.h"
#include "trace_text.h"

#include "flash.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace lampsim;

std::vector<uint8_t> wire_of(uint8_t type, uint8_t seq, const std::vector<uint8_t> &payload) {
    std::vector<uint8_t> wire(link::max_wire);
    wire.resize(link::put_frame(wire.data(), type, seq, payload.data(),
                                static_cast<uint32_t>(payload.size())));
    return wire;
}

// What a reader makes of some bytes: the statuses other than `more`.
std::vector<link::read_status> read_all(link::frame_reader &r, const std::vector<uint8_t> &bytes) {
    std::vector<link::read_status> out;
    for (uint8_t b : bytes) {
        const link::read_status s = r.take(b);
        if (s != link::read_status::more) {
            out.push_back(s);
        }
    }
    return out;
}

TEST(SerialLink, Crc32IsTheCommonOneAndContinues) {
    EXPECT_EQ(crc32(0, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc32(crc32(0, "1234", 4), "56789", 5), 0xCBF43926u);
    EXPECT_EQ(crc32(0, "", 0), 0u);
}

TEST(SerialLink, FramesCarryAnyPayloadAcrossZerosAndCobsBlocks) {
    // Zeros everywhere, none at all (a COBS block of 254 bytes), and the
    // longest payload.
    const std::vector<std::vector<uint8_t>> payloads = {
        {}, {0}, {0, 0, 0}, std::vector<uint8_t>(240, 0xFF), std::vector<uint8_t>(240, 0), [] {
            std::vector<uint8_t> p(240);
            for (size_t i = 0; i < p.size(); ++i) {
                p[i] = static_cast<uint8_t>(i * 7);
            }
            return p;
        }()};
    link::frame_reader r;
    for (const auto &p : payloads) {
        const std::vector<uint8_t> wire = wire_of(link::events, 9, p);
        EXPECT_EQ(std::count(wire.begin(), wire.end(), 0), 1) << p.size();
        ASSERT_EQ(read_all(r, wire), std::vector<link::read_status>{link::read_status::frame});
        EXPECT_EQ(r.last().type, link::events);
        EXPECT_EQ(r.last().seq, 9);
        EXPECT_EQ(std::vector<uint8_t>(r.last().payload, r.last().payload + r.last().len), p);
    }
}

TEST(SerialLink, DamagedFramesAreToldApartAndTheNextFrameStillReads) {
    const std::vector<uint8_t> payload = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::vector<uint8_t> sound = wire_of(link::ack, 1, payload);
    std::vector<uint8_t> garbled = sound;
    garbled[5] ^= 0x40;
    std::vector<uint8_t> cut(sound.begin(), sound.end() - 4);
    cut.back() = 0;
    // Two bytes more in the last COBS block than the length says.
    std::vector<uint8_t> padded = sound;
    size_t last_code = 0;
    while (last_code + padded[last_code] < padded.size() - 1) {
        last_code += padded[last_code];
    }
    padded[last_code] = static_cast<uint8_t>(padded[last_code] + 2);
    padded.insert(padded.end() - 1, {7, 7});
    const std::vector<uint8_t> endless(link::max_wire + 5, 0x55);
    const struct {
        const std::vector<uint8_t> &bytes;
        link::read_status status;
    } cases[] = {
        {garbled, link::read_status::garbled},
        {cut, link::read_status::cut_short},
        {padded, link::read_status::overlong},
        {endless, link::read_status::too_long},
    };
    for (const auto &c : cases) {
        link::frame_reader r;
        std::vector<uint8_t> bytes = c.bytes;
        if (bytes.back() != 0) {
            bytes.push_back(0);
        }
        bytes.insert(bytes.end(), sound.begin(), sound.end());
        EXPECT_EQ(read_all(r, bytes),
                  (std::vector<link::read_status>{c.status, link::read_status::frame}))
            << link::status_text(c.status);
    }
}

scenario worked_example() {
    std::ifstream in(std::string(SOURCE_DIR) + "/tests/scenarios/worked_example.lamp");
    std::stringstream text;
    text << in.rdbuf();
    const parse_result p = parse_scenario(text.str(), "worked_example.lamp");
    EXPECT_TRUE(p.ok) << p.error;
    return p.value;
}

TEST(SerialLink, TheStepTableReadsBackStepForStep) {
    const scenario s = worked_example();
    std::vector<uint8_t> bytes;
    uint64_t previous = 0;
    for (const step &st : s.steps) {
        uint8_t raw[max_encoded_step];
        bytes.insert(bytes.end(), raw, raw + put_step(raw, st, previous));
        previous = st.at_us;
    }
    const auto count = static_cast<uint32_t>(s.steps.size());
    step_reader reader(bytes.data(), static_cast<uint32_t>(bytes.size()), count);
    EXPECT_TRUE(reader.whole());
    // Forwards, the same one again, then back to the start.
    for (uint32_t i : {0u, 1u, 2u, 2u, count - 1, 3u}) {
        step got{};
        ASSERT_TRUE(reader.read(i, got)) << i;
        const step &want = s.steps[i];
        EXPECT_EQ(got.at_us, want.at_us);
        EXPECT_EQ(got.index, want.index);
        ASSERT_EQ(got.argc, want.argc);
        EXPECT_TRUE(std::equal(got.args, got.args + got.argc, want.args)) << i;
    }
    step past{};
    EXPECT_FALSE(reader.read(count, past));
    EXPECT_FALSE(step_reader(bytes.data(), static_cast<uint32_t>(bytes.size() - 1), count).whole());
    EXPECT_FALSE(step_reader(bytes.data(), static_cast<uint32_t>(bytes.size()), count - 1).whole());
}

std::string trace_of(const std::function<void(events &)> &fill) {
    char *buf = nullptr;
    size_t len = 0;
    std::FILE *f = open_memstream(&buf, &len);
    {
        trace_text text(f);
        fill(text);
    }
    EXPECT_EQ(std::fclose(f), 0);
    std::string out(buf, len);
    std::free(buf);
    return out;
}

TEST(SerialLink, ADigestFoldsTheWritesOfAFadeOnly) {
    const lamp_state on{};
    const std::string folded = trace_of([&](events &out) {
        digest_events d(out);
        d.power(0, true, 0, on);
        d.pwm(10, 0, 300); // outside a fade: as it is
        d.fade(100, true, 22, 0);
        d.pwm(122, 0, 5);
        d.state(122, on);
        d.pwm(122, 1, 0x0107);
        d.fade(144, false, 22, 2);
        d.end(200, 2);
    });
    const uint8_t writes[] = {22, 0, 0, 0, 0, 5, 0, 22, 0, 0, 0, 1, 0x07, 0x01};
    char digest[64];
    ASSERT_GT(std::snprintf(digest, sizeof digest, "digest 144 2 %08lX 5 263\n",
                            static_cast<unsigned long>(crc32(0, writes, sizeof writes))),
              0);
    EXPECT_EQ(folded, "power 0 on 0 0 0 0 0 0 0 0\n"
                      "pwm 10 0 300\n"
                      "fade 100 start 22 0\n"
                      "state 122 0 0 0 0 0 0 0\n" +
                          std::string(digest) + "fade 144 stop 22 2\nend 200 2\n");
}

TEST(SerialLink, TheLineNeededKeepsTheBufferAndASecondOfDelay) {
    // 100 wire bytes every 0.1 s: the last of ten waits least at a rate r with
    // 1000 - 0.9 r <= r, so r >= 526.3 bytes a second.
    link_meter m;
    for (uint64_t t = 0; t < 1000000; t += 100000) {
        m.add(t, 91);
    }
    const link_need n = m.need(1024);
    EXPECT_EQ(n.total_bytes, 1000u);
    EXPECT_EQ(n.densest_bytes, 1000u);
    EXPECT_EQ(n.min_baud, 5270u);
    EXPECT_EQ(m.need(99).min_baud, 0u); // a 100-byte burst never fits 99 bytes
}

// A board at the end of a local socket: answers lampsim's frames as the
// serial player does, then sends `events` as the run's, with the second of
// its event frames damaged as asked.
class scripted_board {
  public:
    enum class damage { none, garble, cut, drop };

    scripted_board(std::vector<uint8_t> events, damage how)
        : stream_(std::move(events)), how_(how) {
        char dir[] = "/tmp/lampsim_link_XXXXXX";
        path_ = std::string(mkdtemp(dir)) + "/uart";
        listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        path_.copy(a.sun_path, sizeof a.sun_path - 1);
        const bool listening = bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
                               listen(listener_, 1) == 0;
        EXPECT_TRUE(listening) << path_;
        thread_ = std::thread([this] { serve(); });
    }
    scripted_board(const scripted_board &) = delete;
    scripted_board &operator=(const scripted_board &) = delete;
    ~scripted_board() {
        thread_.join();
        close(listener_);
        unlink(path_.c_str());
        rmdir(path_.substr(0, path_.rfind('/')).c_str());
    }

    const std::string &path() const { return path_; }

  private:
    void send(int fd, uint8_t type, const std::vector<uint8_t> &payload, bool damaged = false) {
        std::vector<uint8_t> wire = wire_of(type, seq_++, payload);
        if (damaged && how_ == damage::garble) {
            wire[wire.size() / 2] ^= 0x01;
        } else if (damaged && how_ == damage::cut) {
            wire.erase(wire.end() - 6, wire.end() - 1);
        } else if (damaged && how_ == damage::drop) {
            return;
        }
        // lampsim may have hung up on an earlier frame: then nothing reads this one.
        (void)::send(fd, wire.data(), wire.size(), MSG_NOSIGNAL);
    }

    void ready(int fd, const link::frame &hello) {
        std::vector<uint8_t> r(25);
        r[0] = link::version;
        std::copy(hello.payload + 1, hello.payload + 5, r.begin() + 1);
        table::put_le(&r[5], 4096, 4);
        table::put_le(&r[9], static_cast<uint64_t>(FLASH_DATA_SIZE), 4);
        table::put_le(&r[13], 1, 4);
        table::put_le(&r[17], 1024, 4);
        table::put_le(&r[21], 115200, 4);
        seq_ = 0;
        send(fd, link::ready, r);
    }

    void serve() {
        const int fd = accept(listener_, nullptr, nullptr);
        link::frame_reader r;
        for (bool go = false; !go;) {
            uint8_t b = 0;
            if (read(fd, &b, 1) != 1) {
                close(fd);
                return;
            }
            if (r.take(b) != link::read_status::frame) {
                continue;
            }
            const link::frame f = r.last();
            if (f.type == link::hello) {
                ready(fd, f);
                continue;
            }
            send(fd, link::ack, {f.seq});
            go = f.type == link::go;
        }
        size_t n = 0;
        for (auto at = stream_.begin(); at != stream_.end(); ++n) {
            const auto len = std::min<std::ptrdiff_t>(link::max_payload, stream_.end() - at);
            send(fd, link::events, {at, at + len}, n == 1);
            at += len;
        }
        send(fd, link::extras, {stream::tag_busy_ms, 0, 0});
        std::vector<uint8_t> total(4);
        table::put_le(total.data(), stream_.size(), 4);
        send(fd, link::done, total);
        shutdown(fd, SHUT_WR);
        uint8_t rest[64];
        while (read(fd, rest, sizeof rest) > 0) {
        }
        close(fd);
    }

    std::vector<uint8_t> stream_;
    damage how_;
    std::string path_;
    int listener_ = -1;
    uint8_t seq_ = 0;
    std::thread thread_;
};

TEST(SerialLink, ARunComesBackWholeOrFailsSayingWhatTheLineDid) {
    const scenario s = worked_example();
    port_options o;
    o.timeout_ms = 5000;
    o.image.assign(static_cast<size_t>(FLASH_DATA_SIZE), 0xFF);
    const std::vector<uint8_t> recorded = run_host_reference(s, o.image, 1).stream;
    ASSERT_GT(recorded.size(), link::max_payload); // the events take two frames at least
    const struct {
        scripted_board::damage how;
        int status;
        const char *error;
    } cases[] = {
        {scripted_board::damage::none, 0, ""},
        {scripted_board::damage::garble, 1, "came garbled (its checksum does not match)"},
        {scripted_board::damage::cut, 1, "came cut short"},
        {scripted_board::damage::drop, 1, "from the board is lost"},
    };
    for (const auto &c : cases) {
        scripted_board board(recorded, c.how);
        serial_link line;
        std::string error;
        ASSERT_TRUE(line.open_socket(board.path(), error)) << error;
        stream_extras extras;
        link_need need;
        const std::string trace = trace_of([&](events &out) {
            EXPECT_EQ(run_on_port(s, line, o, out, extras, need, error), c.status) << error;
        });
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        if (c.status == 0) {
            EXPECT_NE(trace.find("\nend 10300000 "), std::string::npos);
        }
    }
}

} // namespace
