// Diagnostic text layout and UTF-8 narrowing/widening that never throw.
#include "exception.hpp"

#include <new>

namespace vorla {

exception::exception(std::string_view message, std::string_view file, std::string_view function, int line)
{
    text_.reserve(file.size() + function.size() + message.size() + 16);
    text_.append(file);
    text_ += '(';
    text_ += detail::format_number(line);
    text_ += ") ";
    text_.append(function);
    text_ += ": ";
    text_.append(message);
}

exception::~exception()
{
    // A chain thousands of causes long goes one cause at a time, not by destructors inside destructors.
    std::shared_ptr<exception> next = std::move(cause_);
    while (next && next.use_count() == 1) next = std::move(next->cause_);
}

const std::string& exception::text() const noexcept
{
    if (!cause_) return text_;
    if (whole_.empty()) {
        try {
            std::size_t size = text_.size();
            for (const exception* c = cause_.get(); c; c = c->cause_.get()) size += 3 + c->text_.size();
            whole_.reserve(size);
            whole_ = text_;
            for (const exception* c = cause_.get(); c; c = c->cause_.get()) {
                whole_ += "\n>\t";
                whole_ += c->text_;
            }
        } catch (const std::bad_alloc&) {
            whole_.clear();
            return text_;  // no memory for the whole chain: its first lines at least
        }
    }
    return whole_;
}

const char* plain_what(const std::exception& e) noexcept
{
    return dynamic_cast<const std::bad_alloc*>(&e) ? "out of memory" : e.what();
}

exception& exception::chain(const std::exception& caught)
{
    out_of_depth_ = out_of_depth_ || vorla::out_of_depth(caught);
    if (cause_) {
        // A second cause goes after the whole first one: join the text so far.
        text_ = text();
        cause_.reset();
        whole_.clear();
    }
    if (const auto* diagnostic = dynamic_cast<const exception*>(&caught)) {
        // The cause's account is the more exact one: its position and message lie further in.
        if (diagnostic->trace_) {
            if (trace_ && diagnostic->trace_->message.empty()) diagnostic->trace_->message = std::move(trace_->message);
            trace_ = diagnostic->trace_;
        }
        cause_ = std::make_shared<exception>(*diagnostic);
        return *this;
    }
    text_ += "\n>\t";
    text_ += plain_what(caught);
    if (dynamic_cast<const std::bad_alloc*>(&caught)) explain("out of memory");
    return *this;
}

script_trace& exception::script()
{
    if (!trace_) trace_ = std::make_shared<script_trace>();
    return *trace_;
}

exception& exception::explain(std::string message)
{
    script_trace& t = script();
    if (t.message.empty()) t.message = std::move(message);
    return *this;
}

exception& exception::hint(std::string advice)
{
    script().hint = std::move(advice);
    return *this;
}

void exception::append(std::string_view s)
{
    if (cause_) {
        // The last line is the last cause's: join the chain into this text first.
        text_ = text();
        cause_.reset();
        whole_.clear();
    }
    text_.append(s);
}

exception operator<<(const exception& e, std::string_view s)
{
    exception out = e;
    out.append(s);
    return out;
}

std::string narrow(const wchar_t* w, std::size_t n)
{
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        auto c = static_cast<std::uint32_t>(w[i]);
        if (c == 0) break;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += '?';
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c <= 0x10FFFF) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += '?';
        }
    }
    return out;
}

std::string narrow(const std::wstring& w) { return narrow(w.data(), w.size()); }

std::wstring decode_utf8(std::string_view bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        std::size_t len = 0;
        std::uint32_t cp = 0, min = 0;
        if ((b & 0xE0) == 0xC0) { len = 2; cp = b & 0x1F; min = 0x80; }
        else if ((b & 0xF0) == 0xE0) { len = 3; cp = b & 0x0F; min = 0x800; }
        else if ((b & 0xF8) == 0xF0) { len = 4; cp = b & 0x07; min = 0x10000; }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are as invalid as a stray byte; decoding
        // resynchronises on the next byte.
        if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += len;
    }
    return out;
}

std::wstring widen(const std::string& s)
{
    return decode_utf8(std::string_view(s).substr(0, s.find('\0')));
}

} // namespace vorla
