#pragma once
// The serial link between lampsim and the player on a board (lampsim --port,
// --link uart; docs/porting.md, "The serial protocol"). The same code frames
// and checks the bytes on both ends.
//
// A frame is its body, COBS-encoded (no zero byte inside), then one zero
// byte. The body: type (1 byte), sequence number (1 byte: each side counts
// its own frames from 0 at the hello, modulo 256), payload length (1 byte),
// the payload, and the CRC-32 (crc32.h) of everything before it,
// little-endian. Numbers inside payloads are little-endian.
#include <stdint.h>

namespace lampsim {
namespace link {

constexpr uint8_t version = 1;

enum frame_type : uint8_t {
    // lampsim to the board; each is answered by an ack or a nak.
    hello = 'H', // version, nonce (4); a board in a run resets and waits for the next hello
    start = 'S', // step count (4), step table bytes (4), flags (1), write to change (4)
    image = 'I', // offset (2), bytes: the store's flash to start from
    table = 'T', // offset (2), bytes of the step table (step_codec.h)
    go = 'G',    // the run starts
    // The board to lampsim.
    ready = 'R',  // answers a hello: version, nonce, table capacity (4), flash data size (4),
                  // shortest tick period in us (4), event buffer (4), baud rate (4)
    ack = 'A',    // sequence number of the frame taken
    nak = 'N',    // sequence number expected, then why the frame was refused, in words
    events = 'E', // the next bytes of the run's event stream (stream.h)
    extras = 'X', // after the run: thread-mode starvation and the flash image (stream.h)
    lost = 'L',   // event bytes lost so far (4): the event buffer overflowed
    alive = 'K',  // scenario time in us (8): the run goes on with nothing to tell
    done = 'D',   // event stream bytes sent (4): nothing follows
    fault = 'F',  // why the run stopped on the board, in words
};

constexpr uint8_t start_image_in = 1;  // image frames follow the start
constexpr uint8_t start_image_out = 2; // the flash image comes back as extras
constexpr uint8_t start_fault = 4;     // self-check: the board faults as the run starts

constexpr uint32_t max_payload = 240;
constexpr uint32_t head_size = 3;
constexpr uint32_t check_size = 4;
constexpr uint32_t max_body = head_size + max_payload + check_size;
// COBS adds a byte for every 254 of the body (one at least), then the zero.
constexpr uint32_t max_wire = max_body + max_body / 254 + 2;

// Encodes a frame into `wire` (max_wire bytes at least); returns its length.
uint32_t put_frame(uint8_t *wire, uint8_t type, uint8_t seq, const uint8_t *payload, uint32_t len);

struct frame {
    uint8_t type;
    uint8_t seq;
    uint8_t len;
    const uint8_t *payload;
};

enum class read_status : uint8_t {
    more,      // within a frame, or between frames
    frame,     // a sound frame ended with this byte: last() holds it
    garbled,   // a frame ended whose checksum does not match
    cut_short, // a frame ended with fewer bytes than its length says
    overlong,  // a frame ended with more bytes than its length says
    too_long,  // no frame end within max_wire bytes
};

// Reads frames from the bytes of a line, one byte at a time. Zero bytes with
// nothing between them are not frames (a board sends one after each reset,
// to end whatever the line held). Nothing is left over from a frame in error:
// the next zero byte starts a new one.
class frame_reader {
  public:
    read_status take(uint8_t byte);
    const frame &last() const { return frame_; }
    // The body bytes of the frame in error, and the bytes its length asked for.
    uint32_t got() const { return got_; }
    uint32_t wanted() const { return wanted_; }

  private:
    read_status end_of_frame();

    uint8_t wire_[max_wire];
    uint8_t body_[max_wire];
    uint32_t used_ = 0;
    bool overflow_ = false;
    uint32_t got_ = 0;
    uint32_t wanted_ = 0;
    frame frame_{};
};

// What a status means, in words, for messages.
const char *status_text(read_status s);

} // namespace link
} // namespace lampsim
