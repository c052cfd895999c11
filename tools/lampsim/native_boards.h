#pragma once
// lampsim's boards beyond the simulated one, as this machine reaches them:
// the Cortex-M0 under QEMU and boards on serial ports.
#include "cli.h"
#include "serial_link.h"
#include "uart_qemu.h"

namespace lampsim {

class native_boards final : public board_access {
  public:
    std::string m0_unusable(const m0_options &options) override;
    bool run_m0(const scenario &s, const m0_options &options, events &out, stream_extras &extras,
                std::string &error) override;
    int run_serial(const scenario &s, const serial_target &where, const port_options &o,
                   events &out, stream_extras &extras, link_need &need,
                   std::string &error) override;

  private:
    uart_qemu qemu_;
    serial_link line_;
    bool open_ = false;
};

} // namespace lampsim
