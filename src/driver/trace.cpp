// Formatting and writing of the step trace.
#include "driver/trace.hpp"

#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "nspace.hpp"
#include "process.hpp"
#include "vm/machine.hpp"

namespace vorla::driver {

namespace {

constexpr std::size_t block_size = 64 * 1024;

void append_number(std::string& out, std::uint64_t n)
{
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, end);
}

} // namespace

trace_writer::trace_writer(int fd, bool line_by_line) : fd_(fd), line_by_line_(line_by_line)
{
    buffer_.reserve(block_size + 256);
}

trace_writer::~trace_writer() { flush(); }

const std::string& trace_writer::name_of(const process& p)
{
    auto found = names_.find(p.pid);
    if (found != names_.end()) return found->second;
    // The type-id manager knows a process definition as "p?" + its name.
    std::string name = p.root->type_name(p.pid);
    if (name.rfind("p?", 0) == 0) name.erase(0, 2);
    return names_.emplace(p.pid, std::move(name)).first->second;
}

void trace_writer::before_step(std::uint64_t pass, const process& p)
{
    const control* next = files_ ? p.frame->active() : nullptr;
    line(pass, name_of(p), p.serial, next ? next->pos : script_pos{});
}

void trace_writer::before_step(std::uint64_t pass, const vm::fiber& f)
{
    line(pass, f.name(), f.serial(), files_ ? f.standing() : script_pos{});
}

void trace_writer::line(std::uint64_t pass, const std::string& name, std::uint32_t serial, script_pos at)
{
    buffer_ += "pass ";
    append_number(buffer_, pass);
    buffer_ += ": ";
    buffer_ += name;
    buffer_ += '#';
    append_number(buffer_, serial);
    if (files_ && at.known()) {
        buffer_ += " at ";
        buffer_ += files_->where(at);
    }
    buffer_ += '\n';
    if (line_by_line_ || buffer_.size() >= block_size) flush();
}

void trace_writer::flush()
{
    const char* data = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // standard error is gone: the trace is lost, the run goes on
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

} // namespace vorla::driver
