#include "link.h"

#include "crc32.h"

namespace lampsim {
namespace link {

uint32_t put_frame(uint8_t *wire, uint8_t type, uint8_t seq, const uint8_t *payload, uint32_t len) {
    uint8_t body[max_body];
    body[0] = type;
    body[1] = seq;
    body[2] = static_cast<uint8_t>(len);
    for (uint32_t i = 0; i < len; ++i) {
        body[head_size + i] = payload[i];
    }
    const uint32_t crc = crc32(0, body, head_size + len);
    for (uint32_t i = 0; i < check_size; ++i) {
        body[head_size + len + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    const uint32_t body_len = head_size + len + check_size;
    // COBS: each block starts with its length + 1 (at most 255, for 254
    // non-zero bytes); a block shorter than 254 bytes stands for a zero after it.
    uint32_t out = 0;
    uint32_t code_at = out++;
    uint8_t code = 1;
    for (uint32_t i = 0; i < body_len; ++i) {
        if (body[i] == 0) {
            wire[code_at] = code;
            code_at = out++;
            code = 1;
            continue;
        }
        wire[out++] = body[i];
        if (++code == 0xFF) {
            wire[code_at] = code;
            code_at = out++;
            code = 1;
        }
    }
    wire[code_at] = code;
    wire[out++] = 0;
    return out;
}

read_status frame_reader::take(uint8_t byte) {
    if (byte != 0) {
        if (used_ == sizeof wire_) {
            overflow_ = true;
            used_ = 0;
        }
        wire_[used_++] = byte;
        return read_status::more;
    }
    const read_status s = end_of_frame();
    used_ = 0;
    overflow_ = false;
    return s;
}

read_status frame_reader::end_of_frame() {
    got_ = wanted_ = 0;
    if (overflow_) {
        got_ = wanted_ = max_wire;
        return read_status::too_long;
    }
    if (used_ == 0) {
        return read_status::more;
    }
    // COBS back to the body; a block that claims more bytes than came is a
    // frame cut short.
    uint32_t n = 0;
    uint32_t at = 0;
    bool cut = false;
    while (at < used_) {
        const uint8_t code = wire_[at++];
        for (uint8_t i = 1; i < code; ++i) {
            if (at >= used_) {
                cut = true;
                break;
            }
            body_[n++] = wire_[at++];
        }
        if (cut) {
            break;
        }
        if (code != 0xFF && at < used_) {
            body_[n++] = 0;
        }
    }
    got_ = n;
    wanted_ = n >= head_size ? head_size + body_[2] + check_size : head_size + check_size;
    if (cut || n < wanted_) {
        return read_status::cut_short;
    }
    if (n > wanted_) {
        return read_status::overlong;
    }
    const uint32_t len = body_[2];
    uint32_t sent = 0;
    for (uint32_t i = 0; i < check_size; ++i) {
        sent |= static_cast<uint32_t>(body_[head_size + len + i]) << (8 * i);
    }
    if (crc32(0, body_, head_size + len) != sent) {
        return read_status::garbled;
    }
    frame_ = {body_[0], body_[1], body_[2], body_ + head_size};
    return read_status::frame;
}

const char *status_text(read_status s) {
    switch (s) {
    case read_status::more:
        return "no frame yet";
    case read_status::frame:
        return "a sound frame";
    case read_status::garbled:
        return "garbled (its checksum does not match)";
    case read_status::cut_short:
        return "cut short";
    case read_status::overlong:
        return "longer than its length says";
    case read_status::too_long:
        return "too long (no frame end)";
    }
    return "?";
}

} // namespace link
} // namespace lampsim
