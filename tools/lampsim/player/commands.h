#pragma once
// The scenario language: one entry per command, with its arguments and their
// C types, its usage and what runs it. lampsim's parser, its --help, the
// command table of docs/lampsim.md and the players on both boards all work
// from this table; adding a command is adding an entry.
#include <stdint.h>

namespace lampsim {

constexpr unsigned max_args = 4;      // values one step carries
constexpr unsigned max_readings = 13; // values one step reports

// What the target shows at an `expect` line, in this order.
enum snapshot_field : uint8_t {
    snap_output0,
    snap_output1,
    snap_switch,
    snap_bright,
    snap_temper,
    snap_countdown,
    snap_blink,
    snap_result, // of the previous operation; no_result before the first
    snap_fading, // timer 14 running
    snap_saved,  // the store holds a valid light record
    snap_saved_power,
    snap_saved_bright,
    snap_saved_temper,
    snapshot_size,
};

// A word that stands for a value ("gradual" for SWITCH_GRADUAL).
struct arg_word {
    const char *word;
    int64_t value;
};

struct arg_type {
    const char *what;   // "brightness", in messages
    const char *c_type; // the C type the value must fit
    int64_t min, max;
    const arg_word *words;
    uint8_t word_count;
    bool numbers;  // a number is accepted besides the words
    bool duration; // a time with its unit (1.5s, 250ms, 300us)
};

struct arg_spec {
    const char *key;  // null: positional; else written key=VALUE, and optional
    const char *form; // as the usage shows it: "gradual|direct|N", "COUNT"
    const arg_type *type;
};

enum class step_kind : uint8_t {
    call,      // one operation of the module; its result is reported
    report,    // reads the module and reports what it read
    expect,    // compares what the target shows with the line
    init,      // light_ctrl_init; without power, the power-on first
    power_cut, // the supply fails
    config,    // the lamp's configuration, before init
    nvm_fail,  // the store refuses writes
    run,       // lets time pass
    end,       // stops the run
};

struct readings {
    int64_t value[max_readings];
    uint8_t count;
};

// The byte-sized fields together, before the pointers: no padding between.
struct command_spec {
    const char *name; // first word(s) of the line: "blink", "expect outputs"
    step_kind kind;
    uint8_t arg_count;
    uint8_t field;   // expect: the first snapshot value compared
    bool or_none;    // expect: the word "none" in place of the arguments
    bool has_result; // sets the result that `expect result` reads
    arg_spec args[3];
    const char *does; // one line for --help and the docs
    // call and report: runs on the target; returns the module's result (or
    // no_result) and fills what it read.
    int16_t (*run)(const int64_t *args, readings &out);
    const char *shows; // report: how the readings print (see timeline.cpp)
};

// NOLINTBEGIN(bugprone-dynamic-static-initializers): declarations; the
// definitions in commands.cpp have constant initialisers.
extern const command_spec command_table[];
extern const uint8_t command_count;
// NOLINTEND(bugprone-dynamic-static-initializers)

} // namespace lampsim
