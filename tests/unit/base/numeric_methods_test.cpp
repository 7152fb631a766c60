// Unit tests of the built-in methods of int, unsigned int, float and double.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <regex>
#include <vector>

#include "expression/signal.hpp"
#include "factor/boolean.hpp"
#include "factor/nil.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/unsigned_.hpp"
#include "locale.hpp"

namespace {

using namespace vorla;

const bool locale_ready = (install_locale(), true);

value I(int n) { return std::make_shared<signed_<int>>(n); }
value U(unsigned int n) { return std::make_shared<unsigned_<unsigned int>>(n); }
value D(double x) { return std::make_shared<real<double>>(x); }
value F(float x) { return std::make_shared<real<float>>(x); }

value call(const value& on, const std::wstring& name, const args& v = {})
{
    return on->method(method_call<wchar_t>{v, name});
}
value call_narrow(const value& on, const std::string& name, const args& v = {})
{
    return on->method(method_call<char>{v, name});
}

double as_double(const value& v) { return static_cast<double>(*v); }

template <class Fn>
std::string diagnostic(Fn fn)
{
    try {
        fn();
    } catch (const vorla::exception& e) {
        return std::regex_replace(e.text(), std::regex(R"(^([^(]*)\(\d+\))"), "$1(N)");
    }
    ADD_FAILURE() << "no diagnostic raised";
    return {};
}

template <class Fn>
void expect_range_error(Fn fn)
{
    try {
        fn();
        ADD_FAILURE() << "nothing thrown";
    } catch (const sig_throw& t) {
        ASSERT_TRUE(t.v);
        EXPECT_EQ(t.v->type_id(), tid::range_error);
    }
}

// ---- integers

TEST(IntegerMethods, Abs)
{
    EXPECT_EQ(static_cast<int>(*call(I(-5), L"abs")), 5);
    EXPECT_EQ(static_cast<int>(*call(I(5), L"abs")), 5);
    const int min = std::numeric_limits<int>::min();
    value r = call(I(min), L"abs");
    EXPECT_EQ(static_cast<int>(*r), min);
    EXPECT_EQ(r->type_id(), tid::signed_);
}

TEST(IntegerMethods, LimitsIgnoreTheValue)
{
    EXPECT_EQ(static_cast<unsigned int>(*call(U(3), L"max")), 4294967295u);
    EXPECT_EQ(static_cast<unsigned int>(*call(U(0), L"max")), 4294967295u);
    EXPECT_EQ(call(U(3), L"min")->describe(), "unsigned(0)");
    EXPECT_EQ(call(I(0), L"max")->describe(), "int(2,147,483,647)");
    EXPECT_EQ(call_narrow(I(0), "min")->describe(), "int(-2,147,483,648)");
}

TEST(IntegerMethods, UnknownMethodsAreDiagnostics)
{
    EXPECT_EQ(diagnostic([] { call(U(1), L"abs"); }),
              "factor/numeric_methods.cpp(N) vorla::unsigned_<unsigned int>::_method: id=abs, v=0");
    EXPECT_EQ(diagnostic([] { call(I(1), L"max", {I(2)}); }),
              "factor/numeric_methods.cpp(N) vorla::signed_<int>::_method: id=max, v[0]=int(2)");
}

TEST(Random, GeneratorSequenceFromTheUnseededState)
{
    std::uint32_t state = 1;
    const unsigned int expected[] = {41, 18467, 6334, 26500, 19169};
    for (unsigned int e : expected) EXPECT_EQ(random_step(state), e);
}

TEST(Random, IntAndUnsignedShareOneSequence)
{
    std::vector<unsigned int> got;
    for (int i = 0; i < 3; ++i) {
        value s = call(I(0), L"rand");
        value u = call_narrow(U(0), "rand");
        EXPECT_EQ(s->type_id(), tid::signed_);
        EXPECT_EQ(u->type_id(), tid::unsigned_);
        got.push_back(static_cast<unsigned int>(*s));
        got.push_back(static_cast<unsigned int>(*u));
    }
    // The six numbers must be consecutive numbers of the one generator, wherever it stood before.
    std::uint32_t state = 1;
    std::vector<unsigned int> sequence;
    for (int i = 0; i < 100000; ++i) sequence.push_back(random_step(state));
    auto at = std::search(sequence.begin(), sequence.end(), got.begin(), got.end());
    EXPECT_NE(at, sequence.end());
    for (unsigned int n : got) EXPECT_LE(n, 32767u);
}

// ---- reals

TEST(RealMethods, DomainAndOverflowErrors)
{
    expect_range_error([] { call(D(-1), L"sqrt"); });
    expect_range_error([] { call(D(0), L"log"); });
    expect_range_error([] { call(D(-2), L"log10"); });
    expect_range_error([] { call(D(0), L"pow", {I(-1)}); });
    expect_range_error([] { call(D(10), L"pow", {I(400)}); });
    expect_range_error([] { call(D(1000), L"exp"); });
    expect_range_error([] { call(F(100), L"exp"); });  // overflows float, not double
    expect_range_error([] { call(D(1.5), L"acos"); });
    expect_range_error([] { call(F(-1.5f), L"asin"); });
    expect_range_error([] { call(D(1000), L"cosh"); });
    expect_range_error([] { call(D(1000), L"sinh"); });
    expect_range_error([] { call(D(7), L"atan2", {I(0), D(0.0)}); });
    expect_range_error([] { call_narrow(D(-1), "sqrt"); });
}

TEST(RealMethods, EdgesThatAreNotErrors)
{
    EXPECT_EQ(as_double(call(D(-1000), L"sinh")), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(as_double(call(D(1), L"acos")), 0.0);
    EXPECT_EQ(as_double(call(D(0), L"pow", {I(0)})), 1.0);
    EXPECT_TRUE(std::isnan(as_double(call(D(-8), L"pow", {D(0.5)}))));
    EXPECT_EQ(as_double(call(D(0), L"sqrt")), 0.0);
}

TEST(RealMethods, Values)
{
    EXPECT_DOUBLE_EQ(as_double(call(D(123), L"atan2", {I(1), I(1)})), std::atan(1.0));
    EXPECT_EQ(as_double(call(D(1.5), L"ldexp", {D(3.7)})), 12.0);  // the power is truncated to 3
    EXPECT_EQ(as_double(call(D(-2.5), L"floor")), -3.0);
    EXPECT_EQ(as_double(call(D(2), L"pow", {I(10)})), 1024.0);
    value f = call(F(2), L"sqrt");
    EXPECT_EQ(f->type_id(), tid::float_);
    EXPECT_EQ(static_cast<float>(*f), std::sqrt(2.0f));  // computed in float precision
}

TEST(RealMethods, LimitsAndInfinity)
{
    EXPECT_EQ(as_double(call(D(5), L"min")), 2.2250738585072014e-308);
    EXPECT_EQ(as_double(call(D(5), L"max")), 1.7976931348623157e308);
    EXPECT_EQ(static_cast<float>(*call(F(5), L"min")), 1.1754944e-38f);
    EXPECT_EQ(static_cast<float>(*call(F(5), L"max")), 3.4028235e38f);
    value inf = call(F(0), L"infinity");
    EXPECT_EQ(inf->type_id(), tid::float_);
    EXPECT_TRUE(std::isinf(static_cast<float>(*inf)));
    value yes = call(inf, L"is_infinity");
    EXPECT_EQ(yes->type_id(), tid::boolean);
    EXPECT_TRUE(static_cast<bool>(*yes));
    EXPECT_TRUE(static_cast<bool>(*call(D(-std::numeric_limits<double>::infinity()), L"is_infinity")));
    EXPECT_FALSE(static_cast<bool>(*call(D(1e308), L"is_infinity")));
}

TEST(RealMethods, FrexpAssignsTheExponentToItsArgument)
{
    value v = D(8.0);
    value e = I(0);
    value alias = e;
    value m = call(v, L"frexp", {e});
    EXPECT_EQ(as_double(m), 0.5);
    EXPECT_EQ(static_cast<int>(*alias), 4);
    EXPECT_EQ(as_double(v), 8.0);  // the value called on is never changed

    value d = D(0);  // a double argument takes the exponent through its own assignment
    call(F(-3.0f), L"frexp", {d});
    EXPECT_EQ(as_double(d), 2.0);
    EXPECT_EQ(d->type_id(), tid::double_);

    EXPECT_EQ(diagnostic([] { call(D(8), L"frexp", {std::make_shared<nil>()}); }),
              "factor/nil.hpp(N) vorla::nil::operator =: int(4)");
}

TEST(RealMethods, UnknownNameOrArgumentCountIsADiagnostic)
{
    EXPECT_EQ(diagnostic([] { call(D(1), L"sin", {I(1)}); }),
              "factor/numeric_methods.cpp(N) vorla::real<double>::_method: id=sin, v[0]=int(1)");
    EXPECT_EQ(diagnostic([] { call_narrow(F(1), "size"); }),
              "factor/numeric_methods.cpp(N) vorla::real<float>::_method: id=size, v=0");
    EXPECT_EQ(diagnostic([] { call(D(1), L"atan2", {I(1)}); }),
              "factor/numeric_methods.cpp(N) vorla::real<double>::_method: id=atan2, v[0]=int(1)");
}

} // namespace
