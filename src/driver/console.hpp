// The console as the driver uses it: wide script text encoded to UTF-8 through the narrow standard streams.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "driver/chain.hpp"

namespace vorla::driver {

// Code points that UTF-8 cannot carry (surrogates, values past U+10FFFF) become '?', as narrowing does.
inline void encode_utf8(wchar_t w, std::string& out)
{
    const auto c = static_cast<std::uint32_t>(w);
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        out += '?';
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Encodes wide characters as UTF-8 into a narrow stream buffer. Script output and the final diagnostic
// thus share one narrow stream and keep their order on a terminal, a pipe or a file alike; the C stdio
// stream never becomes wide-oriented, which would silently drop the narrow text.
class utf8_writer : public std::wstreambuf {
public:
    explicit utf8_writer(std::streambuf* target) : target_(target) {}

    // The system's error number of the first write or flush the target refused (0 when it gave none), or
    // nothing while every write went through. Kept, so that output lost anywhere is reported once asked.
    bool failed() const noexcept { return failed_; }
    int failure() const noexcept { return failure_; }

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        return put(traits_type::to_char_type(c)) ? c : traits_type::eof();
    }
    std::streamsize xsputn(const wchar_t* s, std::streamsize n) override
    {
        std::string bytes;
        bytes.reserve(static_cast<std::size_t>(n));
        for (std::streamsize i = 0; i < n; ++i) encode_utf8(s[i], bytes);
        errno = 0;
        const auto written = target_->sputn(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return checked(written == static_cast<std::streamsize>(bytes.size())) ? n : 0;
    }
    int sync() override
    {
        errno = 0;
        return checked(target_->pubsync() == 0) ? 0 : -1;
    }

private:
    bool put(wchar_t w)
    {
        std::string bytes;
        encode_utf8(w, bytes);
        errno = 0;
        return checked(target_->sputn(bytes.data(), static_cast<std::streamsize>(bytes.size())) ==
                       static_cast<std::streamsize>(bytes.size()));
    }
    // A file stream buffer leaves the reason of a failed write(2) in errno (cleared before each call, so a
    // buffer that fails without one leaves 0); read it before anything else can.
    bool checked(bool ok) noexcept
    {
        if (!ok && !failed_) {
            failed_ = true;
            failure_ = errno;
        }
        return ok;
    }

    std::streambuf* target_;
    bool failed_ = false;
    int failure_ = 0;
};

// Decodes UTF-8 from a narrow stream buffer one code point at a time, so that no byte beyond the
// character being looked at is taken: the narrow stream can go on reading where the wide one stopped.
class utf8_reader : public std::wstreambuf {
public:
    explicit utf8_reader(std::streambuf* source) : source_(source) {}

protected:
    int_type underflow() override
    {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        const int first = source_->sbumpc();
        if (first == std::char_traits<char>::eof()) return traits_type::eof();
        const auto b = static_cast<unsigned char>(first);
        std::uint32_t cp = b;
        int len = 1;
        std::uint32_t min = 0;
        if (b >= 0x80) {
            if ((b & 0xE0) == 0xC0) { len = 2; cp = b & 0x1F; min = 0x80; }
            else if ((b & 0xF0) == 0xE0) { len = 3; cp = b & 0x0F; min = 0x800; }
            else if ((b & 0xF8) == 0xF0) { len = 4; cp = b & 0x07; min = 0x10000; }
            else len = 0;
            bool ok = len != 0;
            for (int k = 1; ok && k < len; ++k) {
                const int next = source_->sgetc();  // a byte that does not continue stays for the next read
                if (next == std::char_traits<char>::eof() || (next & 0xC0) != 0x80) ok = false;
                else cp = (cp << 6) | (static_cast<unsigned char>(source_->sbumpc()) & 0x3F);
            }
            if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        }
        buffer_ = static_cast<wchar_t>(cp);
        setg(&buffer_, &buffer_, &buffer_ + 1);
        return traits_type::to_int_type(buffer_);
    }

private:
    std::streambuf* source_;
    wchar_t buffer_ = 0;
};

} // namespace vorla::driver
