// The step trace: one line per scheduler step on standard error, buffered so a million steps stay quick.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "idm.hpp"
#include "position.hpp"
#include "step_watch.hpp"

namespace vorla::driver {

// Lines look like "pass 4: counter#2 at hello.vl:5:22" (the pass number, the process definition's name,
// the process's identity number and where the statement the step runs stands). They are written in blocks to the file descriptor, or line by line when
// it is a terminal, where a person reads them between the script's own lines.
class trace_writer final : public step_watch::observer {
public:
    trace_writer(int fd, bool line_by_line);
    ~trace_writer() override;
    trace_writer(const trace_writer&) = delete;
    trace_writer& operator=(const trace_writer&) = delete;

    void before_step(std::uint64_t pass, const process& p) override;
    void before_step(std::uint64_t pass, const vm::fiber& f) override;
    void flush();
    // The run's source files, once compiled: lines name the statement each step runs from then on.
    void show_positions(std::shared_ptr<const source_files> files) { files_ = std::move(files); }

private:
    const std::string& name_of(const process& p);
    // One line: "pass N: NAME#SERIAL", and " at FILE:L:C" when the statement's place is known.
    void line(std::uint64_t pass, const std::string& name, std::uint32_t serial, script_pos at);

    int fd_;
    bool line_by_line_;
    std::string buffer_;
    std::unordered_map<type_id_t, std::string> names_;  // process definition names by pid, narrowed once
    std::shared_ptr<const source_files> files_;
};

} // namespace vorla::driver
