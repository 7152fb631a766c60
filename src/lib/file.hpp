// Reading a whole script file as wide text: UTF-8 decoded by hand so no byte ever ends the text early.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace lib::file {

// Decodes UTF-8 bytes into code points. A leading byte-order mark is skipped; every byte that does not
// start a valid sequence becomes U+FFFD; NUL bytes are kept as U+0000, unlike vorla::widen.
std::wstring decode_utf8(std::string_view bytes);

// The largest script file that is read: 64 MiB.
inline constexpr std::uintmax_t size_limit = std::uintmax_t(64) << 20;

// A file that could not be read. what() is the interpreter's diagnostic line, "lib/file/open" or
// "lib/file/open: <what it is>"; `reason` says why for a person: "No such file or directory", "it is a
// directory", "Permission denied".
class unreadable : public std::invalid_argument {
public:
    unreadable(const std::string& what, std::string reason) : std::invalid_argument(what), reason(std::move(reason)) {}
    std::string reason;
};

// Replaces out with the whole content of the file at path (UTF-8 path text). Throws unreadable:
// "lib/file/open" when the file cannot be opened or read, and with a note after "lib/file/open: " when
// it is no regular file or larger than size_limit.
void open(const std::wstring& path, std::wstring& out);

} // namespace lib::file
