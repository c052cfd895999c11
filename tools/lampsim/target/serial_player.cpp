// lampsim's player on a board, over its serial port (lampsim --port DEVICE,
// and --board m0 --link uart on QEMU's micro:bit). lampsim sends the step
// table and the store's flash image; the board plays the steps with the module
// in real time and sends back its events, with each fade's PWM writes folded
// into a digest and each expectation judged here. The protocol is link.h's;
// docs/porting.md describes it.
//
// Portable: the board supplies board_observe.h, board_player.h and serial.h.
// The board's interrupts produce the events; thread mode frames and sends
// them, so the lamp never waits for the line. A power cut of the scenario is a
// chip reset: the table and the player's memory live in .noinit and the run
// goes on from there, the stream unbroken.
#include "crc32.h"
#include "digest.h"
#include "link.h"
#include "player.h"
#include "step_codec.h"
#include "stream.h"
#include "table.h"

#include "board_observe.h"
#include "board_player.h"
#include "flash.h"
#include "serial.h"
#include "tim.h"
#include "timer_service.h"

#include <stddef.h>

#include <atomic>

namespace {

using namespace lampsim;

constexpr uint32_t table_capacity = 4096;
constexpr uint32_t event_buffer = 1024; // a power of two
constexpr uint64_t alive_every_us = 500000;
constexpr uint32_t run_mark = 0x52554E21u; // a run is going on
constexpr uint32_t cut_mark = 0x43555421u; // the reset is a power cut of the run

// What survives the chip's reset. At a power cut its CRC covers everything
// from `memory` on, so a power-on's random RAM is never taken for a run.
struct kept_t {
    uint32_t mark;
    uint32_t mark_inverse;
    uint32_t check;
    player_memory memory;
    uint64_t stream_time;  // of the last event record
    uint32_t stream_bytes; // event bytes framed so far
    uint32_t busy_ms;      // of the power cycles before this one
    uint32_t writes_seen;
    uint32_t change_write;
    uint32_t step_count;
    uint32_t table_size;
    uint8_t flags;
    uint8_t seq; // of the board's next frame
    uint8_t table[table_capacity];
};
__attribute__((section(".noinit"))) kept_t kept;

uint32_t kept_crc() {
    const auto *from = reinterpret_cast<const uint8_t *>(&kept.memory);
    return crc32(0, from, static_cast<uint32_t>(sizeof kept - offsetof(kept_t, memory)));
}

void set_mark(uint32_t mark) {
    kept.mark = mark;
    kept.mark_inverse = ~mark;
}

bool marked(uint32_t mark) {
    return kept.mark == mark && kept.mark_inverse == ~mark;
}

// The run's event records, from the interrupts (and thread mode before the
// clocks start) to thread mode; one writer, one reader.
uint8_t ring[event_buffer];
volatile uint32_t ring_head = 0;
volatile uint32_t ring_tail = 0;
volatile uint32_t lost_bytes = 0;

void publish() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void keep_record(void *, const uint8_t *bytes, uint32_t len) {
    const uint32_t h = ring_head;
    if (event_buffer - (h - ring_tail) < len) {
        lost_bytes = lost_bytes + len;
        return;
    }
    for (uint32_t i = 0; i < len; ++i) {
        ring[(h + i) % event_buffer] = bytes[i];
    }
    publish();
    ring_head = h + len;
}

stream::writer writer(keep_record, nullptr);
digest_events digests(writer);
step_reader steps(kept.table, 0, 0);

volatile bool cut_requested = false;
volatile bool run_finished = false;

// Frames out: blocking in thread mode, while the interrupts go on.
uint8_t wire[link::max_wire];
uint64_t last_sent_us = 0;

// Every wait for an interrupt's work checks with interrupts masked, then
// sleeps: an interrupt between the check and the sleep still wakes it.
void send_bytes(const uint8_t *bytes, uint32_t len) {
    uint32_t at = 0;
    while (at < len) {
        const uint32_t saved = board_irq_save();
        const uint32_t n = serial_send(bytes + at, len - at);
        if (n == 0) {
            board_idle_once();
        }
        board_irq_restore(saved);
        at += n;
    }
}

void send_frame(uint8_t type, const uint8_t *payload, uint32_t len) {
    const uint32_t n = link::put_frame(wire, type, kept.seq, payload, len);
    kept.seq = static_cast<uint8_t>(kept.seq + 1u);
    send_bytes(wire, n);
}

// A refusal: the sequence number of the frame expected, then why.
void send_nak(uint8_t seq, const char *why) {
    uint8_t payload[link::max_payload];
    uint32_t n = 0;
    payload[n++] = seq;
    while (*why != '\0' && n < sizeof payload) {
        payload[n++] = static_cast<uint8_t>(*why++);
    }
    send_frame(link::nak, payload, n);
}

void wait_until_sent() {
    for (;;) {
        const uint32_t saved = board_irq_save();
        const bool quiet = serial_unsent() == 0;
        if (!quiet) {
            board_idle_once();
        }
        board_irq_restore(saved);
        if (quiet) {
            return;
        }
    }
}

// The records made so far, as event frames.
void send_events() {
    uint8_t payload[link::max_payload];
    for (;;) {
        const uint32_t t = ring_tail;
        const uint32_t have = ring_head - t;
        if (have == 0) {
            return;
        }
        const uint32_t n = have < sizeof payload ? have : static_cast<uint32_t>(sizeof payload);
        for (uint32_t i = 0; i < n; ++i) {
            payload[i] = ring[(t + i) % event_buffer];
        }
        publish();
        ring_tail = t + n;
        kept.stream_bytes += n;
        send_frame(link::events, payload, n);
    }
}

// After the run: the extras (stream.h's tail records) in frames of their own.
uint8_t extras[link::max_payload];
uint32_t extras_used = 0;

void flush_extras() {
    if (extras_used != 0) {
        send_frame(link::extras, extras, extras_used);
        extras_used = 0;
    }
}

void keep_extra(void *, const uint8_t *bytes, uint32_t len) {
    for (uint32_t i = 0; i < len; ++i) {
        if (extras_used == sizeof extras) {
            flush_extras();
        }
        extras[extras_used++] = bytes[i];
    }
}

class serial_platform final : public player_platform {
  public:
    bool read_step(uint32_t index, step &out) override { return steps.read(index, out); }
    void refuse_writes(bool refuse) override { board_flash_refuse_writes(refuse); }
    // Both from the board's interrupt: the module stops where it is (no
    // software timer, no tick after this), thread mode sends what is left.
    void power_cut() override {
        stop_the_lamp();
        cut_requested = true;
    }
    void finished() override {
        stop_the_lamp();
        run_finished = true;
    }

  private:
    static void stop_the_lamp();
};

serial_platform platform;
player the_player(platform, digests, kept.memory);

void serial_platform::stop_the_lamp() {
    the_player.detach();
    timer14_stop();
    timer_service_reset();
    kept.busy_ms += board_busy_ms();
    kept.stream_time = writer.last_time();
    kept.writes_seen = digests.writes_seen();
}

enum class phase : uint8_t {
    idle,    // waiting for a hello
    loading, // hello answered: start, image, table, go
    running,
};
phase now_in = phase::idle;
uint8_t host_seq = 0;    // of the next frame lampsim sends
uint32_t image_next = 0; // image bytes programmed
uint32_t table_next = 0; // table bytes received
bool started = false;    // a start frame was taken

void forget_run() {
    set_mark(0);
}

uint32_t get32(const uint8_t *p) {
    return static_cast<uint32_t>(table::get_le(p, 4));
}

void ack(uint8_t seq) {
    send_frame(link::ack, &seq, 1);
}

void answer_hello(const link::frame &f) {
    uint8_t payload[25];
    payload[0] = link::version;
    for (unsigned i = 0; i < 4; ++i) {
        payload[1 + i] = f.len >= 5 ? f.payload[1 + i] : 0; // the nonce, echoed
    }
    table::put_le(payload + 5, table_capacity, 4);
    table::put_le(payload + 9, static_cast<uint64_t>(FLASH_DATA_SIZE), 4);
    table::put_le(payload + 13, board_timer14_shortest_us(), 4);
    table::put_le(payload + 17, event_buffer, 4);
    table::put_le(payload + 21, serial_baud(), 4);
    kept.seq = 0;
    host_seq = 1;
    started = false;
    now_in = phase::loading;
    send_frame(link::ready, payload, sizeof payload);
}

// The image's next bytes into the store's flash, each sector erased first.
const char *program_image(const uint8_t *bytes, uint32_t len) {
    for (uint32_t i = 0; i < len;) {
        if (image_next % FLASH_SECTOR_SIZE == 0 && flash_erase_sector(image_next) != 0) {
            return "cannot erase the store's flash";
        }
        const uint32_t room = FLASH_SECTOR_SIZE - image_next % FLASH_SECTOR_SIZE;
        const uint32_t n = len - i < room ? len - i : room;
        if (flash_program(image_next, bytes + i, n) != 0) {
            return "cannot program the store's flash";
        }
        image_next += n;
        i += n;
    }
    return nullptr;
}

void start_run() {
    steps = step_reader(kept.table, kept.table_size, kept.step_count);
    kept.memory = {};
    kept.stream_time = 0;
    kept.stream_bytes = 0;
    kept.busy_ms = 0;
    kept.writes_seen = 0;
    set_mark(run_mark);
    digests.change_write(kept.change_write);
    now_in = phase::running;
    if ((kept.flags & link::start_fault) != 0) {
        __builtin_trap(); // the self-check of the fault's report: a hard fault
    }
    board_power_on();
    the_player.boot(true);
    board_start_clocks();
}

// A frame of the loading phase; the reason when it is refused.
const char *take(const link::frame &f) {
    switch (f.type) {
    case link::start:
        if (f.len != 13) {
            return "a start frame holds 13 bytes";
        }
        kept.step_count = get32(f.payload);
        kept.table_size = get32(f.payload + 4);
        kept.flags = f.payload[8];
        kept.change_write = get32(f.payload + 9);
        if (kept.table_size > table_capacity) {
            return "the step table is larger than this board holds (its ready frame says how "
                   "much)";
        }
        image_next = (kept.flags & link::start_image_in) != 0 ? 0 : FLASH_DATA_SIZE;
        table_next = 0;
        started = true;
        return nullptr;
    case link::image: {
        if (!started || f.len < 2 || table::get_le(f.payload, 2) != image_next ||
            f.len - 2u > FLASH_DATA_SIZE - image_next) {
            return "an image frame out of order";
        }
        return program_image(f.payload + 2, f.len - 2u);
    }
    case link::table:
        if (!started || f.len < 2 || table::get_le(f.payload, 2) != table_next ||
            f.len - 2u > kept.table_size - table_next) {
            return "a table frame out of order";
        }
        for (uint32_t i = 2; i < f.len; ++i) {
            kept.table[table_next++] = f.payload[i];
        }
        return nullptr;
    case link::go:
        if (!started || image_next != FLASH_DATA_SIZE || table_next != kept.table_size) {
            return "go before the whole table and image";
        }
        if (!step_reader(kept.table, kept.table_size, kept.step_count).whole()) {
            return "the step table does not decode";
        }
        return nullptr;
    default:
        return "a frame this board does not take now";
    }
}

void on_frame(const link::frame &f) {
    if (f.type == link::hello) {
        if (now_in != phase::idle && now_in != phase::loading) {
            forget_run(); // out of a run: start afresh, and answer the next hello
            wait_until_sent();
            board_system_reset();
        }
        answer_hello(f);
        return;
    }
    if (now_in != phase::loading) {
        send_nak(host_seq, "no hello yet, or a run is going on");
        return;
    }
    if (f.seq != host_seq) {
        send_nak(host_seq, "out of sequence: a frame was lost");
        return;
    }
    const char *refused = take(f);
    if (refused != nullptr) {
        send_nak(host_seq, refused);
        now_in = phase::idle;
        return;
    }
    ack(host_seq++);
    if (f.type == link::go) {
        start_run();
    }
}

link::frame_reader reader;

void take_bytes(const uint8_t *bytes, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        const link::read_status s = reader.take(bytes[i]);
        if (s == link::read_status::frame) {
            on_frame(reader.last());
        } else if (s != link::read_status::more) {
            send_nak(host_seq, link::status_text(s));
            if (now_in == phase::loading) {
                now_in = phase::idle;
            }
        }
    }
}

// The bytes lampsim sent; when none came and `busy` says there is nothing
// else to do, first a sleep until an interrupt.
template <typename F> void receive(F busy) {
    uint8_t bytes[32];
    const uint32_t saved = board_irq_save();
    const uint32_t n = serial_received(bytes, sizeof bytes);
    if (n == 0 && !busy()) {
        board_idle_once();
    }
    board_irq_restore(saved);
    take_bytes(bytes, n);
}

uint64_t scenario_now() {
    return kept.memory.offset_us + board_now_us();
}

void send_alive() {
    uint8_t payload[8];
    table::put_le(payload, scenario_now(), 8);
    send_frame(link::alive, payload, sizeof payload);
}

// The run's end: the rest of the events, the extras, then done; then a reset,
// so that the next run starts from a power-on as this one did.
[[noreturn]] void send_end() {
    send_events();
    stream::writer tail(keep_extra, nullptr);
    tail.busy_ms(kept.busy_ms);
    if ((kept.flags & link::start_image_out) != 0) {
        tail.image_head(FLASH_DATA_SIZE);
        uint8_t chunk[64];
        for (uint32_t at = 0; at < FLASH_DATA_SIZE; at += sizeof chunk) {
            flash_read(at, chunk, sizeof chunk);
            keep_extra(nullptr, chunk, sizeof chunk);
        }
    }
    flush_extras();
    uint8_t total[4];
    table::put_le(total, kept.stream_bytes, 4);
    send_frame(link::done, total, sizeof total);
    wait_until_sent();
    forget_run();
    board_system_reset();
}

// The power cut: everything the run made goes out before the reset.
[[noreturn]] void cut_power() {
    send_events();
    wait_until_sent();
    set_mark(cut_mark);
    kept.check = kept_crc();
    board_system_reset();
}

// The run, until its end or its power cut resets the chip (or a hello does).
[[noreturn]] void serve_run() {
    uint32_t lost_told = 0;
    for (;;) {
        if (lost_bytes != lost_told) {
            lost_told = lost_bytes;
            uint8_t payload[4];
            table::put_le(payload, lost_told, 4);
            send_frame(link::lost, payload, sizeof payload);
        }
        const bool had_events = ring_head != ring_tail;
        send_events();
        if (cut_requested) {
            cut_power();
        }
        if (run_finished) {
            send_end();
        }
        const uint64_t now = board_now_us();
        if (had_events) {
            last_sent_us = now;
        } else if (now - last_sent_us >= alive_every_us) {
            last_sent_us = now;
            send_alive();
        }
        receive([&] {
            return ring_head != ring_tail || lost_bytes != lost_told || cut_requested ||
                   run_finished;
        });
    }
}

// Back from a power cut's reset: the run goes on where it was.
void resume_run() {
    steps = step_reader(kept.table, kept.table_size, kept.step_count);
    writer.resume(kept.stream_time);
    digests.resume(kept.writes_seen);
    digests.change_write(kept.change_write);
    set_mark(run_mark);
    now_in = phase::running;
    board_power_on();
    the_player.boot(false);
    board_start_clocks();
}

} // namespace

// A fault ends the run: its reason goes to lampsim as the run's fault frame,
// sent by polling (no interrupt runs in a fault handler), before the board
// resets. A frame of events cut by the fault may go before it: lampsim then
// reports that one.
extern "C" void board_fault_report(const char *what) {
    uint32_t n = 0;
    while (what[n] != '\0' && what[n] != '\n' && n < link::max_payload) {
        ++n;
    }
    static uint8_t report[link::max_wire];
    const uint32_t len =
        link::put_frame(report, link::fault, kept.seq, reinterpret_cast<const uint8_t *>(what), n);
    kept.seq = static_cast<uint8_t>(kept.seq + 1u);
    serial_send_now(report, len);
}

int main() {
    serial_start();
    const uint8_t end_of_anything = 0;
    send_bytes(&end_of_anything, 1);
    if (marked(cut_mark) && kept.check == kept_crc()) {
        resume_run();
    } else if (marked(run_mark)) {
        // Reset in the middle of a run, and not by a power cut of it.
        forget_run();
        static const char why[] =
            "the board reset in the middle of the run (a fault, its watchdog or its supply)";
        send_frame(link::fault, reinterpret_cast<const uint8_t *>(why), sizeof why - 1);
    } else {
        forget_run();
        kept.seq = 0;
    }
    for (;;) {
        if (now_in == phase::running) {
            serve_run();
        }
        receive([] { return now_in == phase::running; });
    }
}
