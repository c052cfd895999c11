#pragma once
// An output written whole or not at all. open() makes a temporary file beside
// the target (so a missing folder or a target that cannot be replaced shows
// before anything runs); the run writes into it; commit() renames it over the
// target. Dropped without commit(), the temporary goes and the target stays
// as it was. A target that is a device or a FIFO (/dev/null, /dev/stdout)
// cannot be replaced: it is staged in an unnamed temporary file and copied
// into the target by commit().
#include <cstdio>
#include <string>

namespace lampsim {

class staged_file {
  public:
    staged_file() = default;
    staged_file(const staged_file &) = delete;
    staged_file &operator=(const staged_file &) = delete;
    ~staged_file();

    // "" when the temporary is made, else why the target cannot be written.
    std::string open(const std::string &path);
    std::FILE *file() const { return file_; }
    bool is_open() const { return file_ != nullptr; }
    // Everything written reached the temporary; "" or why not.
    std::string finish();
    // A device or FIFO: commit() writes into the target itself, and can fail
    // half-way, so these go before the renames.
    bool into_device() const { return device_; }
    // The temporary in place of the target; "" or why not.
    std::string commit();

  private:
    void discard();

    std::string target_; // the file renamed over (a symbolic link's target)
    std::string temp_;   // "" for an unnamed temporary
    std::FILE *file_ = nullptr;
    bool device_ = false;
};

} // namespace lampsim
