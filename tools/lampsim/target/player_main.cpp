// lampsim's player on the Cortex-M0 (QEMU's micro:bit): reads the steps
// lampsim wrote to table.bin, plays them on the board with the module, and
// writes the events to trace.bin, both through semihosting. A power cut is a
// real chip reset: the flash keeps the store, and the player resumes from
// memory that the reset leaves alone.
#include "player.h"
#include "stream.h"
#include "table.h"

#include "board_microbit.h"
#include "flash.h"
#include "nvm_data_mgmt.h"
#include "semihost.h"

namespace {

using namespace lampsim;

constexpr uint32_t resumed_mark = 0x4C414D50u;

// Survives the chip reset (startup neither copies nor clears .noinit).
struct kept_t {
    uint32_t mark;
    player_memory memory;
    uint64_t trace_time;  // of the last record written before the reset
    uint32_t trace_bytes; // written before the reset
    uint32_t busy_ms;     // of the power cycles before this one
    uint32_t lag_us;      // the most of the power cycles before this one
    uint32_t busy_run_ms; // the same
};
__attribute__((section(".noinit"))) kept_t kept;

int32_t table_file = -1;
int32_t trace_file = -1;
uint32_t step_count = 0;
uint32_t flags = 0;
uint32_t steps_at = 0; // file position of step 0

uint8_t out_buf[512];
uint32_t out_used = 0;
uint32_t out_total = 0; // bytes in trace.bin

[[noreturn]] void fail(const char *why) {
    semihost_puts("lampsim player: ");
    semihost_puts(why);
    semihost_puts("\n");
    semihost_exit(4);
}

void flush_out() {
    if (out_used != 0 && semihost_write_file(trace_file, out_buf, out_used) != 0) {
        fail("cannot write trace.bin");
    }
    out_total += out_used;
    out_used = 0;
}

void send(void *, const uint8_t *bytes, uint32_t len) {
    for (uint32_t i = 0; i < len; ++i) {
        if (out_used == sizeof out_buf) {
            flush_out();
        }
        out_buf[out_used++] = bytes[i];
    }
}

stream::writer writer(send, nullptr);

void read_table(void *buf, uint32_t len) {
    if (semihost_read(table_file, buf, len) != 0) {
        fail("table.bin is cut short");
    }
}

// The run starts from the image lampsim was given (--flash).
void load_image() {
    uint8_t chunk[128];
    for (uint32_t sector = 0; sector < FLASH_DATA_SIZE; sector += FLASH_SECTOR_SIZE) {
        if (flash_erase_sector(sector) != 0) {
            fail("cannot erase the store's flash");
        }
        for (uint32_t at = 0; at < FLASH_SECTOR_SIZE; at += sizeof chunk) {
            read_table(chunk, sizeof chunk);
            if (flash_program(sector + at, chunk, sizeof chunk) != 0) {
                fail("cannot program the store's flash");
            }
        }
    }
}

void send_image() {
    uint8_t chunk[128];
    writer.image_head(FLASH_DATA_SIZE);
    for (uint32_t at = 0; at < FLASH_DATA_SIZE; at += sizeof chunk) {
        flash_read(at, chunk, sizeof chunk);
        send(nullptr, chunk, sizeof chunk);
    }
}

class chip_platform final : public player_platform {
  public:
    bool read_step(uint32_t index, step &out) override {
        if (index >= step_count) {
            return false;
        }
        uint8_t raw[table::step_size];
        if (semihost_seek(table_file, steps_at + index * table::step_size) != 0) {
            fail("cannot seek in table.bin");
        }
        read_table(raw, sizeof raw);
        table::get_step(raw, out);
        return true;
    }
    void refuse_writes(bool refuse) override { board_flash_refuse_writes(refuse); }
    void power_cut() override {
        flush_out();
        kept.busy_ms += board_busy_ms();
        kept.lag_us = board_lag_us() > kept.lag_us ? board_lag_us() : kept.lag_us;
        kept.busy_run_ms = board_longest_busy_run_ms() > kept.busy_run_ms
                               ? board_longest_busy_run_ms()
                               : kept.busy_run_ms;
        kept.trace_time = writer.last_time();
        kept.trace_bytes = out_total;
        kept.mark = resumed_mark;
        semihost_close(trace_file);
        semihost_close(table_file);
        board_system_reset();
    }
    void finished() override {
        writer.busy_ms(kept.busy_ms + board_busy_ms());
        writer.timing(board_lag_us() > kept.lag_us ? board_lag_us() : kept.lag_us,
                      board_longest_busy_run_ms() > kept.busy_run_ms ? board_longest_busy_run_ms()
                                                                     : kept.busy_run_ms);
        if ((flags & table::flag_image_out) != 0) {
            send_image();
        }
        flush_out();
        semihost_close(trace_file);
        semihost_exit(0);
    }
};

chip_platform platform;
player the_player(platform, writer, kept.memory);

} // namespace

int main() {
    const bool first = kept.mark != resumed_mark;
    kept.mark = 0;
    table_file = semihost_open(table::table_file, 1);
    if (table_file < 0) {
        fail("no table.bin in the working directory (lampsim --board m0 writes it)");
    }
    uint8_t head[table::header_size];
    read_table(head, sizeof head);
    for (unsigned i = 0; i < sizeof table::magic; ++i) {
        if (head[i] != table::magic[i]) {
            fail("table.bin is not a step table of this player");
        }
    }
    step_count = static_cast<uint32_t>(table::get_le(head + 8, 4));
    flags = static_cast<uint32_t>(table::get_le(head + 12, 4));
    const uint32_t image_size = static_cast<uint32_t>(table::get_le(head + 16, 4));
    if (image_size != FLASH_DATA_SIZE) {
        fail("table.bin is for a store of another size");
    }
    steps_at = table::header_size + ((flags & table::flag_image_in) != 0 ? image_size : 0u);
    if (first) {
        kept.busy_ms = 0;
        kept.lag_us = 0;
        kept.busy_run_ms = 0;
        trace_file = semihost_open(table::trace_file, 5);
        if ((flags & table::flag_image_in) != 0) {
            load_image();
        }
    } else {
        // Opened for writing without truncation; the writes go on after the
        // bytes of the power cycles before.
        trace_file = semihost_open(table::trace_file, 9);
        out_total = kept.trace_bytes;
        if (trace_file >= 0 && semihost_seek(trace_file, out_total) != 0) {
            fail("cannot seek in trace.bin");
        }
        writer.resume(kept.trace_time);
    }
    if (trace_file < 0) {
        fail("cannot open trace.bin");
    }
    board_power_on();
    the_player.boot(first);
    if ((flags & table::flag_no_pwm) != 0) {
        // The real-pace run: each tick then costs what it costs in a product.
        board_pwm_set_listener(nullptr, nullptr);
    }
    board_start_clocks();
    board_idle_forever();
}
