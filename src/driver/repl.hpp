// The interactive session of vorla -i: definitions persist, statements run at once, expressions show their value.
#pragma once

#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "vorla/vorla.hpp"

namespace vorla::driver {

// Where the session's lines come from: a terminal with line editing and history, or any stream.
class line_source {
public:
    virtual ~line_source() = default;
    // The next line without its end, or nothing at the end of input. `prompt` is shown on a terminal.
    virtual std::optional<std::string> next(const char* prompt) = 0;
    // Whether the line next() just gave was cut off by a Ctrl-C: the input being typed is dropped.
    virtual bool cancelled() const { return false; }
};

// Lines from a stream (a pipe, a file): no prompt, no editing.
class stream_lines : public line_source {
public:
    explicit stream_lines(std::istream& in) : in_(in) {}
    std::optional<std::string> next(const char* prompt) override;

private:
    std::istream& in_;
};

// Lines from the terminal through libedit, with history.
class terminal_lines : public line_source {
public:
    // `interrupted` says whether a Ctrl-C came (and forgets it): at the prompt it drops the line being typed.
    explicit terminal_lines(std::function<bool()> interrupted);
    ~terminal_lines() override;
    std::optional<std::string> next(const char* prompt) override;
    bool cancelled() const override { return cancelled_; }

private:
    std::function<bool()> interrupted_;
    bool cancelled_ = false;
};

// What one input is, once its brackets are closed.
enum class input_kind { empty, incomplete, definitions, statements };

// Whether the text still has a bracket, string or comment open (then the session reads another line),
// holds nothing, parses as top-level definitions, or is taken as statements.
input_kind classify(const std::string& utf8_text);

// One session over `vorla`, which has compiled whatever came before (vorla -i FILE). Each input is
// compiled and run at once; its errors are reported on `err` and the session goes on. `interrupted`
// is polled between steps: when it says so, the processes the input started are stopped. Returns at
// the end of input.
void run_session(interpreter& vorla, line_source& lines, std::ostream& out, std::ostream& err,
                 const std::function<bool()>& interrupted);

} // namespace vorla::driver
