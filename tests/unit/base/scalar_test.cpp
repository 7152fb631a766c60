// Unit tests of the scalar values: nil, bool, int, unsigned int, float and double.
#include <gtest/gtest.h>

#include <boost/functional/hash.hpp>

#include <cmath>
#include <limits>
#include <memory>
#include <regex>
#include <sstream>

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
value B(bool b) { return std::make_shared<boolean>(b); }
value N() { return std::make_shared<nil>(); }

int as_int(const value& v) { return static_cast<int>(*v); }
unsigned int as_unsigned(const value& v) { return static_cast<unsigned int>(*v); }
double as_double(const value& v) { return static_cast<double>(*v); }
bool as_bool(const value& v) { return static_cast<bool>(*v); }

// The diagnostic text a call raises, its line number replaced by N so the test survives edits.
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
void expect_script_throw(Fn fn, type_id_t expected)
{
    try {
        fn();
        ADD_FAILURE() << "nothing thrown";
    } catch (const sig_throw& t) {
        ASSERT_TRUE(t.v);
        EXPECT_EQ(t.v->type_id(), expected);
    }
}

// A value that counts how often its truth value is asked, to see which operands are left unconverted.
class probe : public factor {
public:
    mutable int asked = 0;
    explicit operator bool() const override { ++asked; return true; }
    explicit operator int() const override { ++asked; return 1; }
    explicit operator unsigned int() const override { ++asked; return 1; }
    explicit operator float() const override { ++asked; return 1; }
    explicit operator double() const override { ++asked; return 1; }
    type_id_t type_id() const override { return 9999; }
    value clone() const override { return std::make_shared<probe>(); }
    void hash(std::uint32_t&) const override {}
    bool equal(const value&) const override { return false; }
    std::string describe() const override { return "probe()"; }

protected:
    VORLA_SITE("probe")
};

// A value with no conversions at all: every conversion is refused with a script bad_cast.
class opaque : public factor {
public:
    type_id_t type_id() const override { return 9998; }
    value clone() const override { return std::make_shared<opaque>(); }
    void hash(std::uint32_t&) const override {}
    bool equal(const value&) const override { return false; }
    std::string describe() const override { return "opaque()"; }

protected:
    VORLA_SITE("opaque")
};

// ---- shared value behaviour

TEST(ScalarValue, AssignmentIsSeenThroughEveryHandle)
{
    value a = I(1);
    value alias = a;
    value b = I(7);
    *a = b;
    EXPECT_EQ(as_int(alias), 7);
    ++*b;
    EXPECT_EQ(as_int(alias), 7);  // b itself stayed a separate value
    ++*alias;
    EXPECT_EQ(as_int(a), 8);
    --*alias;
    --*alias;
    EXPECT_EQ(as_int(a), 6);
}

TEST(ScalarValue, CloneIsIndependentAndKeepsItsClass)
{
    value u = U(5);
    value c = u->clone();
    ++*u;
    EXPECT_EQ(as_unsigned(c), 5u);
    EXPECT_EQ(c->type_id(), tid::unsigned_);
    EXPECT_EQ(N()->clone()->type_id(), tid::nil);
    EXPECT_EQ(F(1.5f)->clone()->describe(), "float(1.5)");
}

TEST(ScalarValue, RefusedBinaryOperatorReportsTheRightOperand)
{
    EXPECT_EQ(diagnostic([] { *B(true) + I(1); }), "factor/boolean.hpp(N) vorla::boolean::operator +: int(1)");
    EXPECT_EQ(diagnostic([] { *B(true) >= D(2); }), "factor/boolean.hpp(N) vorla::boolean::operator >=: double(2)");
    EXPECT_EQ(diagnostic([] { -*B(true); }), "factor/boolean.hpp(N) vorla::boolean::operator -: ");
    EXPECT_EQ(diagnostic([] { ++*B(true); }), "factor/boolean.hpp(N) vorla::boolean::operator ++: ");
}

TEST(ScalarValue, RefusalsCarryTheClassName)
{
    EXPECT_EQ(diagnostic([] { I(1)->call_constructor(args{I(1), I(2)}); }),
              "factor/integer.hpp(N) vorla::integer<int>::call_constructor: v[0]=int(1), v[1]=int(2)");
    EXPECT_EQ(diagnostic([] { U(1)->member(std::wstring(L"x")); }),
              "factor/integer.hpp(N) vorla::integer<unsigned int>::member: x");
    EXPECT_EQ(diagnostic([] { F(1)->member(std::string("y")); }), "factor/real.hpp(N) vorla::real<float>::member: y");
    EXPECT_EQ(diagnostic([] { D(1)->call_constructor(args{}); }), "factor/real.hpp(N) vorla::real<double>::call_constructor: ");
    const args none;
    const std::wstring name = L"size";
    EXPECT_EQ(diagnostic([&] { B(true)->method(method_call<wchar_t>{none, name}); }),
              "factor/boolean.hpp(N) vorla::boolean::method: id=size, v=0");
}

TEST(ScalarValue, EqualAndHashAgree)
{
    EXPECT_FALSE(I(1)->equal(U(1)));
    EXPECT_FALSE(F(1)->equal(D(1)));
    EXPECT_FALSE(N()->equal(B(false)));
    EXPECT_FALSE(B(false)->equal(N()));
    EXPECT_TRUE(N()->equal(N()));
    EXPECT_TRUE(I(-3)->equal(I(-3)));
    EXPECT_TRUE(D(0.0)->equal(D(-0.0)));

    auto seed_of = [](const value& v) {
        std::uint32_t seed = 0;
        v->hash(seed);
        return seed;
    };
    EXPECT_EQ(seed_of(I(-3)), seed_of(I(-3)));
    EXPECT_EQ(seed_of(D(0.0)), seed_of(D(-0.0)));
    EXPECT_EQ(seed_of(F(2.5f)), seed_of(F(2.5f)));
    EXPECT_NE(seed_of(D(0.1)), seed_of(D(0.0)));

    // The combining rule on the payload: the 32-bit pattern for integers, 1/0 for bool, 0 for nil.
    std::uint32_t expected = 0;
    hash_combine(expected, 0xFFFFFFFFu);
    EXPECT_EQ(seed_of(I(-1)), expected);
    EXPECT_EQ(seed_of(U(0xFFFFFFFFu)), expected);
    expected = 0;
    hash_combine(expected, 1u);
    EXPECT_EQ(seed_of(B(true)), expected);
    expected = 0;
    hash_combine(expected, 0u);
    EXPECT_EQ(seed_of(N()), expected);
    EXPECT_EQ(seed_of(D(-0.0)), expected);
    // Non-zero reals: the hash library's floating hash, cut to 32 bits.
    expected = 0;
    hash_combine(expected, static_cast<std::uint32_t>(boost::hash<float>()(0.1f)));
    EXPECT_EQ(seed_of(F(0.1f)), expected);
}

// ---- boolean and nil

TEST(Nil, InheritedRefusalsKeepBooleansName)
{
    EXPECT_EQ(diagnostic([] { *N() + I(1); }), "factor/boolean.hpp(N) vorla::boolean::operator +: int(1)");
    EXPECT_EQ(diagnostic([] { *N() - I(1); }), "factor/boolean.hpp(N) vorla::boolean::operator -: int(1)");
    EXPECT_EQ(diagnostic([] { *N() * I(1); }), "factor/boolean.hpp(N) vorla::boolean::operator *: int(1)");
    EXPECT_EQ(diagnostic([] { *N() / I(1); }), "factor/nil.hpp(N) vorla::nil::operator /: int(1)");
    EXPECT_EQ(diagnostic([] { *N() % I(1); }), "factor/nil.hpp(N) vorla::nil::operator %: int(1)");
    EXPECT_EQ(diagnostic([] { *N() < I(1); }), "factor/nil.hpp(N) vorla::nil::operator <: int(1)");
    EXPECT_EQ(diagnostic([] { -*N(); }), "factor/nil.hpp(N) vorla::nil::operator -: ");
    EXPECT_EQ(diagnostic([] { *N() = B(true); }), "factor/nil.hpp(N) vorla::nil::operator =: bool(1)");
    EXPECT_EQ(diagnostic([] { N()->call_constructor(I(1)); }), "factor/nil.hpp(N) vorla::nil::call_constructor: int(1)");
    EXPECT_EQ(diagnostic([] { N()->member(std::string("m")); }), "factor/nil.hpp(N) vorla::nil::member: m");
    std::wistringstream in(L"1");
    EXPECT_EQ(diagnostic([&] { N()->read_istream(in); }), "factor/nil.hpp(N) vorla::nil::read_istream: ");
}

TEST(Nil, LogicAndComparisons)
{
    EXPECT_TRUE(as_bool(*N() == B(false)));
    EXPECT_TRUE(as_bool(*N() == I(0)));
    EXPECT_TRUE(as_bool(*N() != I(1)));
    EXPECT_FALSE(as_bool(*N() == D(0.5)));
    EXPECT_TRUE(as_bool(!*N()));
    EXPECT_TRUE(as_bool(*N() || I(3)));
    EXPECT_EQ(as_int(N()), 0);
    EXPECT_EQ(static_cast<std::wstring>(*N()), L"0");

    auto p = std::make_shared<probe>();
    EXPECT_FALSE(as_bool(*N() && p));
    EXPECT_EQ(p->asked, 0);

    value n = N();
    n->call_constructor();  // the default constructor is allowed and leaves nil as it is
    EXPECT_EQ(n->describe(), "nil()");
}

TEST(Boolean, LogicConvertsTheRightOperandOnlyWhenNeeded)
{
    auto p = std::make_shared<probe>();
    EXPECT_FALSE(as_bool(*B(false) && p));
    EXPECT_TRUE(as_bool(*B(true) || p));
    EXPECT_EQ(p->asked, 0);
    EXPECT_TRUE(as_bool(*B(true) && p));
    EXPECT_TRUE(as_bool(*B(false) || p));
    EXPECT_EQ(p->asked, 2);

    EXPECT_FALSE(as_bool(*I(0) && p));
    EXPECT_TRUE(as_bool(*U(2) || p));
    EXPECT_FALSE(as_bool(*D(0.0) && p));
    EXPECT_TRUE(as_bool(*F(0.5f) || p));
    EXPECT_EQ(p->asked, 2);
}

TEST(Boolean, ComparingWithAValueWithoutTruthIsABadCast)
{
    expect_script_throw([] { *B(true) == std::make_shared<opaque>(); }, tid::bad_cast);
    expect_script_throw([] { *N() == std::make_shared<opaque>(); }, tid::bad_cast);
}

TEST(Boolean, ConstructAssignAndConvert)
{
    value b = B(false);
    value alias = b;
    *b = I(5);
    EXPECT_TRUE(as_bool(alias));
    b->call_constructor();
    EXPECT_FALSE(as_bool(alias));
    b->call_constructor(D(0.25));
    EXPECT_TRUE(as_bool(alias));
    EXPECT_TRUE(as_bool(*B(true) == I(7)));
}

TEST(Boolean, StreamsAndText)
{
    EXPECT_EQ(B(true)->describe(), "bool(1)");
    EXPECT_EQ(B(false)->describe(), "bool(0)");
    std::wostringstream out;
    B(true)->write_ostream(out);
    N()->write_ostream(out);
    EXPECT_EQ(out.str(), L"10");

    value b = B(true);
    std::istringstream bad("x");
    b->read_istream(bad);
    EXPECT_TRUE(bad.fail());
    EXPECT_TRUE(as_bool(b));  // a failed read keeps the old content
    std::wistringstream good(L"0");
    b->read_istream(good);
    EXPECT_FALSE(as_bool(b));
}

// ---- integers

TEST(Integer, DivisionTruncatesTowardZero)
{
    EXPECT_EQ(as_int(*I(7) / I(2)), 3);
    EXPECT_EQ(as_int(*I(-7) / I(2)), -3);
    EXPECT_EQ(as_int(*I(-7) % I(2)), -1);
    EXPECT_EQ(as_int(*I(7) % I(-2)), 1);
    EXPECT_EQ(as_unsigned(*U(0xFFFFFFFFu) / I(2)), 0x7FFFFFFFu);  // unsigned division of the bit pattern
}

TEST(Integer, ZeroDivisorIsARangeError)
{
    value seven = I(7);
    expect_script_throw([&] { *seven / I(0); }, tid::range_error);
    expect_script_throw([&] { *seven % I(0); }, tid::range_error);
    expect_script_throw([&] { *seven / D(0.5); }, tid::range_error);  // 0.5 truncates to 0
    expect_script_throw([] { *U(7) / U(0); }, tid::range_error);
    expect_script_throw([] { *U(7) % B(false); }, tid::range_error);
    const int min = std::numeric_limits<int>::min();
    expect_script_throw([&] { *I(min) / I(-1); }, tid::range_error);
    expect_script_throw([&] { *I(min) % I(-1); }, tid::range_error);
    EXPECT_EQ(as_int(seven), 7);
    EXPECT_EQ(as_unsigned(*U(0x80000000u) / I(-1)), 0u);  // no trap for unsigned: -1 is 4294967295
}

TEST(Integer, WrapAround)
{
    EXPECT_EQ(as_unsigned(*U(1) - I(2)), 4294967295u);
    EXPECT_EQ(as_unsigned(-*U(1)), 4294967295u);
    EXPECT_EQ((-*U(1))->type_id(), tid::unsigned_);
    EXPECT_EQ(as_int(*I(2147483647) + I(1)), std::numeric_limits<int>::min());
    EXPECT_EQ(as_int(-*I(std::numeric_limits<int>::min())), std::numeric_limits<int>::min());
    EXPECT_EQ(as_int(*I(65536) * I(65536)), 0);
    EXPECT_EQ(as_int(*I(-65536) * I(65537)), -65536);  // -(2^32 + 65536) wraps to -65536
    value m = I(std::numeric_limits<int>::max());
    ++*m;
    EXPECT_EQ(as_int(m), std::numeric_limits<int>::min());
    --*m;
    EXPECT_EQ(as_int(m), std::numeric_limits<int>::max());
    value z = U(0);
    --*z;
    EXPECT_EQ(as_unsigned(z), 4294967295u);
}

TEST(Integer, TheLeftOperandDecides)
{
    value r = *I(1) + D(2.5);
    EXPECT_EQ(r->type_id(), tid::signed_);
    EXPECT_EQ(as_int(r), 3);
    value s = *D(2.5) + I(1);
    EXPECT_EQ(s->type_id(), tid::double_);
    EXPECT_EQ(as_double(s), 3.5);
    EXPECT_TRUE(as_bool(*U(4294967295u) == I(-1)));
    EXPECT_FALSE(as_bool(*U(1) > I(-1)));
    EXPECT_TRUE(as_bool(*I(1) > I(-1)));
    EXPECT_TRUE(as_bool(*I(-1) < U(1)));  // the unsigned 1 is read as int 1
    EXPECT_TRUE(as_bool(*I(3) >= B(true)));
}

TEST(Integer, ConstructAndConvert)
{
    value i = I(9);
    i->call_constructor(D(-2.7));
    EXPECT_EQ(as_int(i), -2);
    EXPECT_EQ(as_unsigned(i), 4294967294u);
    i->call_constructor();
    EXPECT_EQ(as_int(i), 0);
    EXPECT_EQ(as_double(U(4294967295u)), 4294967295.0);
}

TEST(Integer, TextForms)
{
    EXPECT_EQ(I(1234)->describe(), "int(1,234)");
    EXPECT_EQ(I(-1234567)->describe(), "int(-1,234,567)");
    EXPECT_EQ(U(4294967295u)->describe(), "unsigned(4,294,967,295)");
    EXPECT_EQ(static_cast<std::wstring>(*I(-1234)), L"-1234");
    EXPECT_EQ(static_cast<std::wstring>(*U(4294967295u)), L"4294967295");
    std::wostringstream out;
    I(1234)->write_ostream(out);
    EXPECT_EQ(out.str(), L"1234");
}

TEST(Integer, ReadKeepsOldContentOnFailure)
{
    value i = I(5);
    std::wistringstream in(L"42 x");
    i->read_istream(in);
    EXPECT_EQ(as_int(i), 42);
    i->read_istream(in);
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(as_int(i), 42);
    value u = U(1);
    std::istringstream nin("77");
    u->read_istream(nin);
    EXPECT_EQ(as_unsigned(u), 77u);
}

// ---- reals

TEST(Real, Arithmetic)
{
    EXPECT_TRUE(std::isinf(as_double(*D(1.0) / D(0.0))));
    EXPECT_TRUE(std::isnan(as_double(*D(0.0) / I(0))));
    EXPECT_EQ(as_double(*D(5.5) % D(2.0)), 1.5);
    EXPECT_EQ(as_double(*D(-5.5) % D(2.0)), -1.5);
    // float computes in double and stores the rounded result
    value f = *F(0.1f) + F(0.2f);
    EXPECT_EQ(f->type_id(), tid::float_);
    EXPECT_EQ(static_cast<float>(*f), static_cast<float>(double(0.1f) + double(0.2f)));
    value d = D(1.5);
    value alias = d;
    ++*d;
    EXPECT_EQ(as_double(alias), 2.5);
    --*alias;
    --*alias;
    EXPECT_EQ(as_double(d), 0.5);
}

TEST(Real, Comparisons)
{
    EXPECT_TRUE(as_bool(*D(1.5) > I(1)));
    EXPECT_TRUE(as_bool(*F(0.5f) < D(0.75)));
    value nan = D(std::nan(""));
    EXPECT_FALSE(as_bool(*nan == nan));
    EXPECT_TRUE(as_bool(*nan != nan));
    EXPECT_TRUE(as_bool(!*D(-0.0)));
}

TEST(Real, IntegerConversionsTruncateWithoutUndefinedBehaviour)
{
    EXPECT_EQ(as_int(D(3.9)), 3);
    EXPECT_EQ(as_int(D(-3.9)), -3);
    EXPECT_EQ(as_unsigned(D(-1.0)), 4294967295u);
    EXPECT_EQ(as_int(D(4294967296.0 + 5)), 5);  // the low 32 bits of the 64-bit value
    EXPECT_EQ(as_unsigned(D(3000000000.0)), 3000000000u);
    EXPECT_EQ(as_int(D(std::nan(""))), 0);
    EXPECT_EQ(as_unsigned(F(std::nanf(""))), 0u);
    // beyond the 64-bit range: clamped to the 64-bit limits first
    EXPECT_EQ(as_int(D(1e30)), -1);
    EXPECT_EQ(as_unsigned(D(std::numeric_limits<double>::infinity())), 4294967295u);
    EXPECT_EQ(as_int(D(-1e30)), 0);
    EXPECT_EQ(as_int(F(-std::numeric_limits<float>::infinity())), 0);
    EXPECT_EQ(static_cast<float>(*D(0.1)), 0.1f);
    EXPECT_TRUE(as_bool(D(std::nan(""))));
}

TEST(Real, TextForms)
{
    EXPECT_EQ(F(0.1f)->describe(), "float(0.1)");
    EXPECT_EQ(D(1e10)->describe(), "double(1e+10)");
    EXPECT_EQ(D(1234.5)->describe(), "double(1,234.5)");
    EXPECT_EQ(D(1.0 / 3)->describe(), "double(0.333333)");
    EXPECT_EQ(static_cast<std::wstring>(*D(1234.5)), L"1234.5");
    EXPECT_EQ(static_cast<std::wstring>(*D(3.14159265)), L"3.14159");
    std::wostringstream out;
    F(2.5f)->write_ostream(out);
    EXPECT_EQ(out.str(), L"2.5");
}

TEST(Real, ConstructAssignAndRead)
{
    value d = D(1);
    d->call_constructor(I(-4));
    EXPECT_EQ(as_double(d), -4.0);
    d->call_constructor();
    EXPECT_EQ(as_double(d), 0.0);
    *d = B(true);
    EXPECT_EQ(as_double(d), 1.0);
    std::wistringstream in(L"2.25 z");
    d->read_istream(in);
    EXPECT_EQ(as_double(d), 2.25);
    d->read_istream(in);
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(as_double(d), 2.25);
}

} // namespace
