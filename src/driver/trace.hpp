// The step trace: one line per scheduler step on standard error, buffered so a million steps stay quick.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "idm.hpp"
#include "step_watch.hpp"

namespace vorla::driver {

// Lines look like "pass 4: counter#2" (the pass number, the process definition's name and the
// process's identity number). They are written in blocks to the file descriptor, or line by line when
// it is a terminal, where a person reads them between the script's own lines.
class trace_writer final : public step_watch::observer {
public:
    trace_writer(int fd, bool line_by_line);
    ~trace_writer() override;
    trace_writer(const trace_writer&) = delete;
    trace_writer& operator=(const trace_writer&) = delete;

    void before_step(std::uint64_t pass, const process& p) override;
    void flush();

private:
    const std::string& name_of(const process& p);

    int fd_;
    bool line_by_line_;
    std::string buffer_;
    std::unordered_map<type_id_t, std::string> names_;  // process definition names by pid, narrowed once
};

} // namespace vorla::driver
