// Unit tests of the built-in methods of int, unsigned int, float and double.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "../support.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

// ---- integers

TEST(IntegerMethods, Abs)
{
    EXPECT_EQ(static_cast<int>(*call(int_(-5), L"abs")), 5);
    EXPECT_EQ(static_cast<int>(*call(int_(5), L"abs")), 5);
    const int min = std::numeric_limits<int>::min();
    value r = call(int_(min), L"abs");
    EXPECT_EQ(static_cast<int>(*r), min);
    EXPECT_EQ(r->type_id(), tid::signed_);
}

TEST(IntegerMethods, LimitsIgnoreTheValue)
{
    EXPECT_EQ(static_cast<unsigned int>(*call(uint_(3), L"max")), 4294967295u);
    EXPECT_EQ(static_cast<unsigned int>(*call(uint_(0), L"max")), 4294967295u);
    EXPECT_EQ(call(uint_(3), L"min")->describe(), "unsigned(0)");
    EXPECT_EQ(call(int_(0), L"max")->describe(), "int(2,147,483,647)");
    EXPECT_EQ(call_narrow(int_(0), "min")->describe(), "int(-2,147,483,648)");
}

TEST(IntegerMethods, UnknownMethodsAreDiagnostics)
{
    EXPECT_EQ(diagnostic_with_line_n([] { call(uint_(1), L"abs"); }),
              "factor/numeric_methods.cpp(N) vorla::unsigned_<unsigned int>::_method: id=abs, v=0");
    EXPECT_EQ(diagnostic_with_line_n([] { call(int_(1), L"max", {int_(2)}); }),
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
        value s = call(int_(0), L"rand");
        value u = call_narrow(uint_(0), "rand");
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
    expect_script_throw([] { call(double_(-1), L"sqrt"); }, tid::range_error);
    expect_script_throw([] { call(double_(0), L"log"); }, tid::range_error);
    expect_script_throw([] { call(double_(-2), L"log10"); }, tid::range_error);
    expect_script_throw([] { call(double_(0), L"pow", {int_(-1)}); }, tid::range_error);
    expect_script_throw([] { call(double_(10), L"pow", {int_(400)}); }, tid::range_error);
    expect_script_throw([] { call(double_(1000), L"exp"); }, tid::range_error);
    expect_script_throw([] { call(float_(100), L"exp"); }, tid::range_error);  // overflows float, not double
    expect_script_throw([] { call(double_(1.5), L"acos"); }, tid::range_error);
    expect_script_throw([] { call(float_(-1.5f), L"asin"); }, tid::range_error);
    expect_script_throw([] { call(double_(1000), L"cosh"); }, tid::range_error);
    expect_script_throw([] { call(double_(1000), L"sinh"); }, tid::range_error);
    expect_script_throw([] { call(double_(7), L"atan2", {int_(0), double_(0.0)}); }, tid::range_error);
    expect_script_throw([] { call_narrow(double_(-1), "sqrt"); }, tid::range_error);
}

TEST(RealMethods, EdgesThatAreNotErrors)
{
    EXPECT_EQ(as_double(call(double_(-1000), L"sinh")), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(as_double(call(double_(1), L"acos")), 0.0);
    EXPECT_EQ(as_double(call(double_(0), L"pow", {int_(0)})), 1.0);
    EXPECT_TRUE(std::isnan(as_double(call(double_(-8), L"pow", {double_(0.5)}))));
    EXPECT_EQ(as_double(call(double_(0), L"sqrt")), 0.0);
}

TEST(RealMethods, Values)
{
    EXPECT_DOUBLE_EQ(as_double(call(double_(123), L"atan2", {int_(1), int_(1)})), std::atan(1.0));
    EXPECT_EQ(as_double(call(double_(1.5), L"ldexp", {double_(3.7)})), 12.0);  // the power is truncated to 3
    EXPECT_EQ(as_double(call(double_(-2.5), L"floor")), -3.0);
    EXPECT_EQ(as_double(call(double_(2), L"pow", {int_(10)})), 1024.0);
    value f = call(float_(2), L"sqrt");
    EXPECT_EQ(f->type_id(), tid::float_);
    EXPECT_EQ(static_cast<float>(*f), std::sqrt(2.0f));  // computed in float precision
}

TEST(RealMethods, LimitsAndInfinity)
{
    EXPECT_EQ(as_double(call(double_(5), L"min")), 2.2250738585072014e-308);
    EXPECT_EQ(as_double(call(double_(5), L"max")), 1.7976931348623157e308);
    EXPECT_EQ(static_cast<float>(*call(float_(5), L"min")), 1.1754944e-38f);
    EXPECT_EQ(static_cast<float>(*call(float_(5), L"max")), 3.4028235e38f);
    value inf = call(float_(0), L"infinity");
    EXPECT_EQ(inf->type_id(), tid::float_);
    EXPECT_TRUE(std::isinf(static_cast<float>(*inf)));
    value yes = call(inf, L"is_infinity");
    EXPECT_EQ(yes->type_id(), tid::boolean);
    EXPECT_TRUE(static_cast<bool>(*yes));
    EXPECT_TRUE(static_cast<bool>(*call(double_(-std::numeric_limits<double>::infinity()), L"is_infinity")));
    EXPECT_FALSE(static_cast<bool>(*call(double_(1e308), L"is_infinity")));
}

TEST(RealMethods, FrexpAssignsTheExponentToItsArgument)
{
    value v = double_(8.0);
    value e = int_(0);
    value alias = e;
    value m = call(v, L"frexp", {e});
    EXPECT_EQ(as_double(m), 0.5);
    EXPECT_EQ(static_cast<int>(*alias), 4);
    EXPECT_EQ(as_double(v), 8.0);  // the value called on is never changed

    value d = double_(0);  // a double argument takes the exponent through its own assignment
    call(float_(-3.0f), L"frexp", {d});
    EXPECT_EQ(as_double(d), 2.0);
    EXPECT_EQ(d->type_id(), tid::double_);

    EXPECT_EQ(diagnostic_with_line_n([] { call(double_(8), L"frexp", {make<nil>()}); }),
              "factor/nil.hpp(N) vorla::nil::operator =: int(4)");
}

TEST(RealMethods, UnknownNameOrArgumentCountIsADiagnostic)
{
    EXPECT_EQ(diagnostic_with_line_n([] { call(double_(1), L"sin", {int_(1)}); }),
              "factor/numeric_methods.cpp(N) vorla::real<double>::_method: id=sin, v[0]=int(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { call_narrow(float_(1), "size"); }),
              "factor/numeric_methods.cpp(N) vorla::real<float>::_method: id=size, v=0");
    EXPECT_EQ(diagnostic_with_line_n([] { call(double_(1), L"atan2", {int_(1)}); }),
              "factor/numeric_methods.cpp(N) vorla::real<double>::_method: id=atan2, v[0]=int(1)");
}

} // namespace
