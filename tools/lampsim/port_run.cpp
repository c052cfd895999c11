#include "port_run.h"

#include "digest.h"
#include "host_run.h"
#include "link.h"
#include "step_codec.h"
#include "stream.h"
#include "table.h"
#include "trace_text.h"

#include "board_host.h"
#include "flash.h"
#include "flash_host.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace lampsim {
namespace {

// The host run's records, kept with their times for the link's figures.
struct reference_sink {
    host_reference &ref;
    const stream::writer *writer = nullptr;
};

void keep_reference(void *ctx, const uint8_t *bytes, uint32_t len) {
    auto &sink = *static_cast<reference_sink *>(ctx);
    sink.ref.stream.insert(sink.ref.stream.end(), bytes, bytes + len);
    sink.ref.meter.add(sink.writer->last_time(), len);
}

// The events of a stream as trace lines, for saying where two streams part.
std::vector<std::string> trace_lines(const std::vector<uint8_t> &bytes, size_t steps) {
    char *text = nullptr;
    size_t len = 0;
    std::FILE *f = open_memstream(&text, &len);
    if (f == nullptr) {
        return {};
    }
    {
        trace_text trace(f);
        stream_extras ignored;
        std::string error;
        if (!decode_stream(bytes, steps, trace, ignored, error)) {
            (void)std::fprintf(f, "(the stream does not decode past here: %s)\n", error.c_str());
        }
    }
    if (std::fclose(f) != 0) {
        std::free(text);
        return {};
    }
    std::vector<std::string> lines;
    std::string all(text, len);
    std::free(text);
    size_t from = 0;
    while (from < all.size()) {
        const size_t nl = all.find('\n', from);
        lines.push_back(all.substr(from, nl - from));
        from = nl == std::string::npos ? all.size() : nl + 1;
    }
    return lines;
}

std::string first_difference(const std::vector<uint8_t> &host, const std::vector<uint8_t> &board,
                             size_t steps) {
    const std::vector<std::string> a = trace_lines(host, steps);
    const std::vector<std::string> b = trace_lines(board, steps);
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i]) {
            return "event " + std::to_string(i + 1) + ": host '" + a[i] + "', board '" + b[i] + "'";
        }
    }
    if (a.size() != b.size()) {
        return "the host's run has " + std::to_string(a.size()) + " events, the board's " +
               std::to_string(b.size());
    }
    return "the same events, in other bytes";
}

const char *frame_name(uint8_t type) {
    switch (type) {
    case link::hello:
        return "hello";
    case link::start:
        return "start";
    case link::image:
        return "image";
    case link::table:
        return "table";
    case link::go:
        return "go";
    default:
        return "frame";
    }
}

std::string text_of(const std::vector<uint8_t> &payload, size_t from) {
    std::string t;
    for (size_t i = from; i < payload.size(); ++i) {
        const auto c = static_cast<char>(payload[i]);
        t += c >= ' ' && c <= '~' ? c : '?';
    }
    return t;
}

// lampsim's end of a session with the board's serial player.
class session {
  public:
    session(serial_link &line, const port_options &o) : line_(line), o_(o) {}

    struct frame {
        uint8_t type = 0;
        std::vector<uint8_t> payload;
    };

    // A hello until the board's ready answers it.
    bool hello(frame &ready, std::string &error) {
        nonce_ = static_cast<uint32_t>(std::time(nullptr)) ^ static_cast<uint32_t>(getpid() << 16);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(o_.timeout_ms);
        uint32_t tries = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            ++nonce_;
            ++tries;
            uint8_t payload[5] = {link::version};
            table::put_le(payload + 1, nonce_, 4);
            // A zero first ends whatever the board's receiver held.
            const uint8_t zero = 0;
            host_seq_ = 0;
            if (!line_.write_all(&zero, 1, error) || !send(link::hello, payload, 5, error)) {
                return false;
            }
            // A board in a run resets on the hello and answers the next one.
            const auto wait_until = std::chrono::steady_clock::now() +
                                    std::chrono::milliseconds(tries < 4 ? 300 : 1000);
            while (std::chrono::steady_clock::now() < wait_until) {
                frame f;
                if (!next(f, 50, true, error)) {
                    return false;
                }
                if (f.type == link::ready && f.payload.size() >= 25 &&
                    table::get_le(&f.payload[1], 4) == nonce_) {
                    ready = f;
                    return true;
                }
            }
        }
        error = "no answer from a serial player on " + line_.device() + " at " +
                std::to_string(o_.baud) + " baud within " + std::to_string(o_.timeout_ms / 1000) +
                " s (is the board running lampsim's serial player, built for this rate?)";
        return false;
    }

    // A frame of lampsim's, then the board's ack of it.
    bool exchange(uint8_t type, const std::vector<uint8_t> &payload, std::string &error,
                  frame_damage damage = frame_damage::none) {
        const uint8_t sent_seq = host_seq_;
        if (!send(type, payload.data(), static_cast<uint32_t>(payload.size()), error, damage)) {
            return false;
        }
        frame f;
        if (!await(f, error)) {
            return false;
        }
        if (f.type == link::nak) {
            error = std::string("the board refused lampsim's ") + frame_name(type) +
                    " frame: " + text_of(f.payload, 1);
            return false;
        }
        if (f.type != link::ack || f.payload.size() != 1 || f.payload[0] != sent_seq) {
            error = std::string("the board answered lampsim's ") + frame_name(type) +
                    " frame with something else than its ack";
            return false;
        }
        return true;
    }

    // The board's next frame, however long the silence within the timeout.
    bool await(frame &f, std::string &error) {
        for (;;) {
            if (!next(f, o_.timeout_ms, false, error)) {
                return false;
            }
            if (f.type != 0) {
                return true;
            }
            error = "the board sent nothing for " + std::to_string(o_.timeout_ms / 1000) +
                    " s (it stopped, or its line did)";
            return false;
        }
    }

  private:
    bool send(uint8_t type, const uint8_t *payload, uint32_t len, std::string &error,
              frame_damage damage = frame_damage::none) {
        uint8_t wire[link::max_wire];
        uint32_t n = link::put_frame(wire, type, host_seq_, payload, len);
        host_seq_ = static_cast<uint8_t>(host_seq_ + 1u);
        if (damage == frame_damage::corrupt) {
            // A byte of the body past the middle, not one of COBS's codes.
            uint32_t code = 0;
            while (code + wire[code] <= n / 2) {
                code += wire[code];
            }
            const uint32_t at = code == n / 2 ? n / 2 + 1 : n / 2;
            wire[at] = static_cast<uint8_t>(wire[at] ^ (wire[at] == 1 ? 2 : 1));
        } else if (damage == frame_damage::truncate) {
            wire[n - 6] = 0;
            n -= 5;
        }
        return line_.write_all(wire, n, error);
    }

    // The next frame within timeout_ms (type 0 when none came). Before the
    // ready (lenient) a frame out of turn or in error is something the line
    // held from before, and skipped; after it, a lost or damaged frame ends
    // the session.
    bool next(frame &f, int timeout_ms, bool lenient, std::string &error) {
        f = frame{};
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            while (at_ < bytes_.size()) {
                const link::read_status s = reader_.take(bytes_[at_++]);
                if (s == link::read_status::more) {
                    continue;
                }
                if (s != link::read_status::frame) {
                    if (lenient) {
                        continue;
                    }
                    error = std::string("a frame from the board came ") + link::status_text(s) +
                            " (" + std::to_string(reader_.got()) + " bytes, its length says " +
                            std::to_string(reader_.wanted()) + "), after its frame " +
                            std::to_string(frames_) + ": the line lost or changed bytes";
                    return false;
                }
                const link::frame &got = reader_.last();
                if (!lenient && got.seq != board_seq_) {
                    error = "frame " + std::to_string(board_seq_) + " from the board is lost (" +
                            std::to_string(got.seq) + " came after its frame " +
                            std::to_string(frames_) + ")";
                    return false;
                }
                board_seq_ = static_cast<uint8_t>(got.seq + 1u);
                ++frames_;
                f.type = got.type;
                f.payload.assign(got.payload, got.payload + got.len);
                return true;
            }
            bytes_.clear();
            at_ = 0;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                return true;
            }
            if (!line_.read_some(bytes_, static_cast<int>(left), error)) {
                return false;
            }
        }
    }

    serial_link &line_;
    const port_options &o_;
    link::frame_reader reader_;
    std::vector<uint8_t> bytes_;
    size_t at_ = 0;
    uint32_t nonce_ = 0;
    uint8_t host_seq_ = 0;
    uint8_t board_seq_ = 0;
    uint64_t frames_ = 0;
};

std::vector<uint8_t> encode_steps(const scenario &s) {
    std::vector<uint8_t> out;
    uint64_t previous = 0;
    for (const step &st : s.steps) {
        uint8_t raw[max_encoded_step];
        const uint32_t n = put_step(raw, st, previous);
        out.insert(out.end(), raw, raw + n);
        previous = st.at_us;
    }
    return out;
}

// The bytes of `all` in frames of an offset and as much as fits.
bool send_chunks(session &board, uint8_t type, const std::vector<uint8_t> &all, frame_damage damage,
                 std::string &error) {
    const size_t chunk = link::max_payload - 2;
    for (size_t at = 0; at < all.size(); at += chunk) {
        std::vector<uint8_t> payload(2);
        table::put_le(payload.data(), at, 2);
        const size_t n = std::min(chunk, all.size() - at);
        payload.insert(payload.end(), all.begin() + static_cast<std::ptrdiff_t>(at),
                       all.begin() + static_cast<std::ptrdiff_t>(at + n));
        if (!board.exchange(type, payload, error, at == 0 ? damage : frame_damage::none)) {
            return false;
        }
    }
    return true;
}

std::string rate_text(uint64_t baud) {
    return std::to_string(baud) + " baud";
}

} // namespace

host_reference run_host_reference(const scenario &s, const std::vector<uint8_t> &image,
                                  uint32_t shortest_us) {
    host_reference ref;
    reference_sink sink{ref};
    stream::writer writer(keep_reference, &sink);
    sink.writer = &writer;
    digest_events digests(writer);
    flash_host_erase_all();
    std::copy(image.begin(), image.end(), flash_host_image());
    const uint32_t floor_before = board_host_set_tim14_floor_us(shortest_us);
    run_on_host(s, digests);
    (void)board_host_set_tim14_floor_us(floor_before);
    ref.flash.assign(flash_host_image(),
                     flash_host_image() + static_cast<std::size_t>(FLASH_DATA_SIZE));
    return ref;
}

int run_on_port(const scenario &s, serial_link &line, const port_options &o, events &out,
                stream_extras &extras, link_need &need, std::string &error) {
    session board(line, o);
    session::frame ready;
    if (!board.hello(ready, error)) {
        return 1;
    }
    const std::vector<uint8_t> &r = ready.payload;
    if (r[0] != link::version) {
        error = "the board's serial player speaks protocol version " + std::to_string(r[0]) +
                ", this lampsim version " + std::to_string(link::version) +
                ": build both from one tree";
        return 1;
    }
    const auto capacity = static_cast<uint32_t>(table::get_le(&r[5], 4));
    const auto flash_size = static_cast<uint32_t>(table::get_le(&r[9], 4));
    const auto shortest = static_cast<uint32_t>(table::get_le(&r[13], 4));
    const auto buffer = static_cast<uint32_t>(table::get_le(&r[17], 4));
    const auto board_baud = static_cast<uint32_t>(table::get_le(&r[21], 4));
    if (flash_size != FLASH_DATA_SIZE) {
        error = "the board's store holds " + std::to_string(flash_size) +
                " bytes, this lampsim's " + std::to_string(FLASH_DATA_SIZE);
        return 1;
    }
    const std::vector<uint8_t> table_bytes = encode_steps(s);
    if (table_bytes.size() > capacity) {
        error = s.file + ": its steps take " + std::to_string(table_bytes.size()) +
                " bytes, the board holds " + std::to_string(capacity) +
                ": split the scenario into shorter files";
        return 2;
    }

    // The host board's run: what the board must send, and what it needs of the line.
    const host_reference host = run_host_reference(s, o.image, shortest);
    need = host.meter.need(buffer);
    if (need.min_baud == 0 || need.min_baud > o.baud) {
        error = s.file + " cannot run in real time at " + rate_text(o.baud) + ": " +
                (need.min_baud == 0
                     ? std::to_string(need.largest_burst) + " bytes on one microsecond exceed " +
                           "the board's event buffer of " + std::to_string(buffer) + " bytes"
                     : "it needs at least " + rate_text(need.min_baud) +
                           " (its densest second sends " + std::to_string(need.densest_bytes) +
                           " bytes; the board buffers " + std::to_string(buffer) + ")");
        return 2;
    }
    if (board_baud != o.baud) {
        error = "the board's serial player runs at " + rate_text(board_baud) + ", not " +
                rate_text(o.baud) + " (--baud)";
        return 2;
    }

    std::vector<uint8_t> start(13);
    table::put_le(start.data(), s.steps.size(), 4);
    table::put_le(&start[4], table_bytes.size(), 4);
    start[8] = static_cast<uint8_t>(link::start_image_in |
                                    (o.image_out ? link::start_image_out : 0) |
                                    (o.fault ? link::start_fault : 0));
    table::put_le(&start[9], o.change_write, 4);
    if (!board.exchange(link::start, start, error) ||
        !send_chunks(board, link::image, o.image, frame_damage::none, error) ||
        !send_chunks(board, link::table, table_bytes, o.damage, error) ||
        !board.exchange(link::go, {}, error)) {
        return 1;
    }

    std::vector<uint8_t> stream_bytes;
    std::vector<uint8_t> extra_bytes;
    for (bool done = false; !done;) {
        session::frame f;
        if (!board.await(f, error)) {
            return 1;
        }
        switch (f.type) {
        case link::events:
            stream_bytes.insert(stream_bytes.end(), f.payload.begin(), f.payload.end());
            break;
        case link::extras:
            extra_bytes.insert(extra_bytes.end(), f.payload.begin(), f.payload.end());
            break;
        case link::alive:
            break;
        case link::done:
            if (f.payload.size() != 4 ||
                table::get_le(f.payload.data(), 4) != stream_bytes.size()) {
                error = "the board's run ended with another count of event bytes than came";
                return 1;
            }
            done = true;
            break;
        case link::lost:
            error = "the board lost " + std::to_string(table::get_le(f.payload.data(), 4)) +
                    " bytes of events: its event buffer overflowed (the line is too slow for "
                    "this scenario, or thread mode did not get to send them)";
            return 1;
        case link::fault:
            error = "the board: " + text_of(f.payload, 0);
            return 1;
        case link::nak:
            error = "the board refused a frame in the middle of the run: " + text_of(f.payload, 1);
            return 1;
        default:
            error = std::string("the board sent a frame of unknown type '") +
                    static_cast<char>(f.type) + "'";
            return 1;
        }
    }

    // The extras hold no events: `out` hears nothing from them.
    if (!decode_stream(extra_bytes, s.steps.size(), out, extras, error)) {
        error = "the board's extras are broken: " + error;
        return 1;
    }
    stream_extras ignored;
    if (!decode_stream(stream_bytes, s.steps.size(), out, ignored, error)) {
        error = "the board's events are broken: " + error;
        return 1;
    }
    if (!ignored.ended) {
        error = "the board's events stop before the end of the run";
        return 1;
    }
    if (stream_bytes != host.stream) {
        error = "the board's run differs from the host board's, first at " +
                first_difference(host.stream, stream_bytes, s.steps.size());
        return 1;
    }
    if (o.image_out && extras.image != host.flash) {
        const auto at = std::mismatch(extras.image.begin(), extras.image.end(), host.flash.begin(),
                                      host.flash.end());
        error = "the board's store differs from the host board's at byte " +
                std::to_string(at.first - extras.image.begin());
        return 1;
    }
    return 0;
}

} // namespace lampsim
