// The script exception values bad_cast and range_error: where a runtime operation refused, as a catchable value.
#pragma once

#include <cstdint>
#include <string>

#include "factor/factor.hpp"

namespace vorla {

// Tags that only tell the two exception classes apart.
struct bad_cast_ {};
struct range_error_ {};

template <class Tag>
struct exception_traits;
template <>
struct exception_traits<bad_cast_> {
    static constexpr const char* cls = "vorla::exception_<class vorla::bad_cast_>";
    static constexpr const char* name = "bad_cast";
    static constexpr type_id_t id = tid::bad_cast;
};
template <>
struct exception_traits<range_error_> {
    static constexpr const char* cls = "vorla::exception_<class vorla::range_error_>";
    static constexpr const char* name = "range_error";
    static constexpr type_id_t id = tid::range_error;
};

// The payload is the location of the refusing operation; a script-declared value has none (empty, line 0).
template <class Tag>
class exception_ : public factor {
public:
    exception_() = default;
    exception_(std::string file, std::string function, int line)
        : file_(std::move(file)), function_(std::move(function)), line_(line)
    {
    }

    void call_constructor(const value& v) override;
    void call_constructor() override {}
    void operator=(const value& r) override;

    type_id_t type_id() const override { return exception_traits<Tag>::id; }
    value clone() const override;
    void hash(std::uint32_t& seed) const override;
    bool equal(const value& other) const override;
    std::string describe() const override;

    const std::string& file() const { return file_; }
    const std::string& function() const { return function_; }
    int line() const { return line_; }

protected:
    VORLA_SITE(exception_traits<Tag>::cls)

private:
    // Only a value of the very same exception type may overwrite the location.
    void take(const char* op, const value& v);

    std::string file_;
    std::string function_;
    int line_ = 0;
};

extern template class exception_<bad_cast_>;
extern template class exception_<range_error_>;

} // namespace vorla
