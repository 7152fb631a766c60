// Unit tests of the scalar values: nil, bool, int, unsigned int, float and double.
#include <gtest/gtest.h>

#include <boost/functional/hash.hpp>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <utility>

#include "../support.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

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
    value clone() const override { return make<probe>(); }
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
    value clone() const override { return make<opaque>(); }
    void hash(std::uint32_t&) const override {}
    bool equal(const value&) const override { return false; }
    std::string describe() const override { return "opaque()"; }

protected:
    VORLA_SITE("opaque")
};

// ---- shared value behaviour

TEST(ScalarValue, AssignmentIsSeenThroughEveryHandle)
{
    value a = int_(1);
    value alias = a;
    value b = int_(7);
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
    value u = uint_(5);
    value c = u->clone();
    ++*u;
    EXPECT_EQ(as_unsigned(c), 5u);
    EXPECT_EQ(c->type_id(), tid::unsigned_);
    EXPECT_EQ(nil_()->clone()->type_id(), tid::nil);
    EXPECT_EQ(float_(1.5f)->clone()->describe(), "float(1.5)");
}

TEST(ScalarValue, RefusedBinaryOperatorReportsTheRightOperand)
{
    EXPECT_EQ(diagnostic_with_line_n([] { *bool_(true) + int_(1); }),
              "factor/boolean.hpp(N) vorla::boolean::operator +: int(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { *bool_(true) >= double_(2); }),
              "factor/boolean.hpp(N) vorla::boolean::operator >=: double(2)");
    EXPECT_EQ(diagnostic_with_line_n([] { -*bool_(true); }), "factor/boolean.hpp(N) vorla::boolean::operator -: ");
    EXPECT_EQ(diagnostic_with_line_n([] { ++*bool_(true); }), "factor/boolean.hpp(N) vorla::boolean::operator ++: ");
}

TEST(ScalarValue, RefusalsCarryTheClassName)
{
    EXPECT_EQ(diagnostic_with_line_n([] { int_(1)->call_constructor(args{int_(1), int_(2)}); }),
              "factor/integer.hpp(N) vorla::integer<int>::call_constructor: v[0]=int(1), v[1]=int(2)");
    EXPECT_EQ(diagnostic_with_line_n([] { uint_(1)->member(std::wstring(L"x")); }),
              "factor/integer.hpp(N) vorla::integer<unsigned int>::member: x");
    EXPECT_EQ(diagnostic_with_line_n([] { float_(1)->member(std::string("y")); }),
              "factor/real.hpp(N) vorla::real<float>::member: y");
    EXPECT_EQ(diagnostic_with_line_n([] { double_(1)->call_constructor(args{}); }),
              "factor/real.hpp(N) vorla::real<double>::call_constructor: ");
    const args none;
    const std::wstring name = L"size";
    EXPECT_EQ(diagnostic_with_line_n([&] { bool_(true)->method(method_call<wchar_t>{none, name}); }),
              "factor/boolean.hpp(N) vorla::boolean::method: id=size, v=0");
}

TEST(ScalarValue, EqualAndHashAgree)
{
    EXPECT_FALSE(int_(1)->equal(uint_(1)));
    EXPECT_FALSE(float_(1)->equal(double_(1)));
    EXPECT_FALSE(nil_()->equal(bool_(false)));
    EXPECT_FALSE(bool_(false)->equal(nil_()));
    EXPECT_TRUE(nil_()->equal(nil_()));
    EXPECT_TRUE(int_(-3)->equal(int_(-3)));
    EXPECT_TRUE(double_(0.0)->equal(double_(-0.0)));

    auto seed_of = [](const value& v) {
        std::uint32_t seed = 0;
        v->hash(seed);
        return seed;
    };
    EXPECT_EQ(seed_of(int_(-3)), seed_of(int_(-3)));
    EXPECT_EQ(seed_of(double_(0.0)), seed_of(double_(-0.0)));
    EXPECT_EQ(seed_of(float_(2.5f)), seed_of(float_(2.5f)));
    EXPECT_NE(seed_of(double_(0.1)), seed_of(double_(0.0)));

    // The combining rule on the payload: the 32-bit pattern for integers, 1/0 for bool, 0 for nil.
    std::uint32_t expected = 0;
    hash_combine(expected, 0xFFFFFFFFu);
    EXPECT_EQ(seed_of(int_(-1)), expected);
    EXPECT_EQ(seed_of(uint_(0xFFFFFFFFu)), expected);
    expected = 0;
    hash_combine(expected, 1u);
    EXPECT_EQ(seed_of(bool_(true)), expected);
    expected = 0;
    hash_combine(expected, 0u);
    EXPECT_EQ(seed_of(nil_()), expected);
    EXPECT_EQ(seed_of(double_(-0.0)), expected);
    // Non-zero reals: the hash library's floating hash, cut to 32 bits.
    expected = 0;
    hash_combine(expected, static_cast<std::uint32_t>(boost::hash<float>()(0.1f)));
    EXPECT_EQ(seed_of(float_(0.1f)), expected);
}

// ---- boolean and nil

TEST(Nil, InheritedRefusalsKeepBooleansName)
{
    EXPECT_EQ(diagnostic_with_line_n([] { *nil_() + int_(1); }),
              "factor/boolean.hpp(N) vorla::boolean::operator +: int(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { *nil_() - int_(1); }),
              "factor/boolean.hpp(N) vorla::boolean::operator -: int(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { *nil_() * int_(1); }),
              "factor/boolean.hpp(N) vorla::boolean::operator *: int(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { *nil_() / int_(1); }), "factor/nil.hpp(N) vorla::nil::operator /: int(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { *nil_() % int_(1); }), "factor/nil.hpp(N) vorla::nil::operator %: int(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { *nil_() < int_(1); }), "factor/nil.hpp(N) vorla::nil::operator <: int(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { -*nil_(); }), "factor/nil.hpp(N) vorla::nil::operator -: ");
    EXPECT_EQ(diagnostic_with_line_n([] { *nil_() = bool_(true); }),
              "factor/nil.hpp(N) vorla::nil::operator =: bool(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { nil_()->call_constructor(int_(1)); }),
              "factor/nil.hpp(N) vorla::nil::call_constructor: int(1)");
    EXPECT_EQ(diagnostic_with_line_n([] { nil_()->member(std::string("m")); }),
              "factor/nil.hpp(N) vorla::nil::member: m");
    std::wistringstream in(L"1");
    EXPECT_EQ(diagnostic_with_line_n([&] { nil_()->read_istream(in); }),
              "factor/nil.hpp(N) vorla::nil::read_istream: ");
}

TEST(Nil, LogicAndComparisons)
{
    EXPECT_TRUE(as_bool(*nil_() == bool_(false)));
    EXPECT_TRUE(as_bool(*nil_() == int_(0)));
    EXPECT_TRUE(as_bool(*nil_() != int_(1)));
    EXPECT_FALSE(as_bool(*nil_() == double_(0.5)));
    EXPECT_TRUE(as_bool(!*nil_()));
    EXPECT_TRUE(as_bool(*nil_() || int_(3)));
    EXPECT_EQ(as_int(nil_()), 0);
    EXPECT_EQ(static_cast<std::wstring>(*nil_()), L"0");

    auto p = make<probe>();
    EXPECT_FALSE(as_bool(*nil_() && p));
    EXPECT_EQ(p->asked, 0);

    value n = nil_();
    n->call_constructor();  // the default constructor is allowed and leaves nil as it is
    EXPECT_EQ(n->describe(), "nil()");
}

TEST(Boolean, LogicConvertsTheRightOperandOnlyWhenNeeded)
{
    auto p = make<probe>();
    EXPECT_FALSE(as_bool(*bool_(false) && p));
    EXPECT_TRUE(as_bool(*bool_(true) || p));
    EXPECT_EQ(p->asked, 0);
    EXPECT_TRUE(as_bool(*bool_(true) && p));
    EXPECT_TRUE(as_bool(*bool_(false) || p));
    EXPECT_EQ(p->asked, 2);

    EXPECT_FALSE(as_bool(*int_(0) && p));
    EXPECT_TRUE(as_bool(*uint_(2) || p));
    EXPECT_FALSE(as_bool(*double_(0.0) && p));
    EXPECT_TRUE(as_bool(*float_(0.5f) || p));
    EXPECT_EQ(p->asked, 2);
}

TEST(Boolean, ComparingWithAValueWithoutTruthIsABadCast)
{
    expect_script_throw([] { *bool_(true) == make<opaque>(); }, tid::bad_cast);
    expect_script_throw([] { *nil_() == make<opaque>(); }, tid::bad_cast);
}

TEST(Boolean, ConstructAssignAndConvert)
{
    value b = bool_(false);
    value alias = b;
    *b = int_(5);
    EXPECT_TRUE(as_bool(alias));
    b->call_constructor();
    EXPECT_FALSE(as_bool(alias));
    b->call_constructor(double_(0.25));
    EXPECT_TRUE(as_bool(alias));
    EXPECT_TRUE(as_bool(*bool_(true) == int_(7)));
}

TEST(Boolean, StreamsAndText)
{
    EXPECT_EQ(bool_(true)->describe(), "bool(1)");
    EXPECT_EQ(bool_(false)->describe(), "bool(0)");
    std::wostringstream out;
    bool_(true)->write_ostream(out);
    nil_()->write_ostream(out);
    EXPECT_EQ(out.str(), L"10");

    value b = bool_(true);
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
    EXPECT_EQ(as_int(*int_(7) / int_(2)), 3);
    EXPECT_EQ(as_int(*int_(-7) / int_(2)), -3);
    EXPECT_EQ(as_int(*int_(-7) % int_(2)), -1);
    EXPECT_EQ(as_int(*int_(7) % int_(-2)), 1);
    EXPECT_EQ(as_unsigned(*uint_(0xFFFFFFFFu) / int_(2)), 0x7FFFFFFFu);  // unsigned division of the bit pattern
}

TEST(Integer, ZeroDivisorIsARangeError)
{
    value seven = int_(7);
    expect_script_throw([&] { *seven / int_(0); }, tid::range_error);
    expect_script_throw([&] { *seven % int_(0); }, tid::range_error);
    expect_script_throw([&] { *seven / double_(0.5); }, tid::range_error);  // 0.5 truncates to 0
    expect_script_throw([] { *uint_(7) / uint_(0); }, tid::range_error);
    expect_script_throw([] { *uint_(7) % bool_(false); }, tid::range_error);
    const int min = std::numeric_limits<int>::min();
    expect_script_throw([&] { *int_(min) / int_(-1); }, tid::range_error);
    expect_script_throw([&] { *int_(min) % int_(-1); }, tid::range_error);
    EXPECT_EQ(as_int(seven), 7);
    EXPECT_EQ(as_unsigned(*uint_(0x80000000u) / int_(-1)), 0u);  // no trap for unsigned: -1 is 4294967295
}

TEST(Integer, WrapAround)
{
    EXPECT_EQ(as_unsigned(*uint_(1) - int_(2)), 4294967295u);
    EXPECT_EQ(as_unsigned(-*uint_(1)), 4294967295u);
    EXPECT_EQ((-*uint_(1))->type_id(), tid::unsigned_);
    EXPECT_EQ(as_int(*int_(2147483647) + int_(1)), std::numeric_limits<int>::min());
    EXPECT_EQ(as_int(-*int_(std::numeric_limits<int>::min())), std::numeric_limits<int>::min());
    EXPECT_EQ(as_int(*int_(65536) * int_(65536)), 0);
    EXPECT_EQ(as_int(*int_(-65536) * int_(65537)), -65536);  // -(2^32 + 65536) wraps to -65536
    value m = int_(std::numeric_limits<int>::max());
    ++*m;
    EXPECT_EQ(as_int(m), std::numeric_limits<int>::min());
    --*m;
    EXPECT_EQ(as_int(m), std::numeric_limits<int>::max());
    value z = uint_(0);
    --*z;
    EXPECT_EQ(as_unsigned(z), 4294967295u);
}

TEST(Integer, TheLeftOperandDecides)
{
    value r = *int_(1) + double_(2.5);
    EXPECT_EQ(r->type_id(), tid::signed_);
    EXPECT_EQ(as_int(r), 3);
    value s = *double_(2.5) + int_(1);
    EXPECT_EQ(s->type_id(), tid::double_);
    EXPECT_EQ(as_double(s), 3.5);
    EXPECT_TRUE(as_bool(*uint_(4294967295u) == int_(-1)));
    EXPECT_FALSE(as_bool(*uint_(1) > int_(-1)));
    EXPECT_TRUE(as_bool(*int_(1) > int_(-1)));
    EXPECT_TRUE(as_bool(*int_(-1) < uint_(1)));  // the unsigned 1 is read as int 1
    EXPECT_TRUE(as_bool(*int_(3) >= bool_(true)));
}

// In place, a number leaves exactly what its operator would have made, wrap-around, truncation and the
// left operand's class included, and a refused division leaves it unchanged.
TEST(Integer, InPlaceArithmeticLeavesWhatTheOperatorMakes)
{
    const std::pair<value, value> cases[] = {
        {int_(2147483647), int_(1)}, {int_(-7), int_(2)},      {int_(65536), int_(65536)},
        {uint_(1), int_(2)},         {int_(7), double_(2.9)}, {uint_(0xFFFFFFFFu), int_(2)},
    };
    for (const auto& [l, r] : cases) {
        for (arith op : {arith::add, arith::sub, arith::mul, arith::div, arith::mod}) {
            const value made = arithmetic(*l, op, r);
            value in_place = l->clone();
            value holder = in_place;
            ASSERT_TRUE(in_place->operate_in_place(op, r));
            EXPECT_EQ(holder->type_id(), made->type_id());
            EXPECT_EQ(holder->describe(), made->describe()) << l->describe() << " op " << r->describe();
        }
    }
    value n = int_(std::numeric_limits<int>::min());
    expect_script_throw([&] { n->operate_in_place(arith::div, int_(-1)); }, tid::range_error);
    expect_script_throw([&] { n->operate_in_place(arith::mod, int_(0)); }, tid::range_error);
    EXPECT_EQ(as_int(n), std::numeric_limits<int>::min());
    EXPECT_FALSE(bool_(true)->operate_in_place(arith::add, int_(1)));  // bool has no arithmetic of its own
}

// The operators' int path is taken for exactly the int class (and an unsigned int on the right): every
// other number, and a value that merely converts to int, goes through its own slots.
TEST(Integer, ExactIntIsOnlyTheIntClass)
{
    const value n = int_(3);
    ASSERT_EQ(exact_int(n), n.get());
    EXPECT_EQ(exact_int(n)->get(), 3);
    for (const value& other : {uint_(3), double_(3), float_(3), bool_(true), str(L"3"), value(make<probe>())})
        EXPECT_EQ(exact_int(other), nullptr) << other->describe();
    const value u = uint_(4);
    ASSERT_EQ(exact_unsigned(u), u.get());
    EXPECT_EQ(exact_unsigned(n), nullptr);
    EXPECT_EQ(exact_unsigned(double_(4)), nullptr);
}

TEST(Integer, ConstructAndConvert)
{
    value i = int_(9);
    i->call_constructor(double_(-2.7));
    EXPECT_EQ(as_int(i), -2);
    EXPECT_EQ(as_unsigned(i), 4294967294u);
    i->call_constructor();
    EXPECT_EQ(as_int(i), 0);
    EXPECT_EQ(as_double(uint_(4294967295u)), 4294967295.0);
}

TEST(Integer, TextForms)
{
    EXPECT_EQ(int_(1234)->describe(), "int(1,234)");
    EXPECT_EQ(int_(-1234567)->describe(), "int(-1,234,567)");
    EXPECT_EQ(uint_(4294967295u)->describe(), "unsigned(4,294,967,295)");
    EXPECT_EQ(static_cast<std::wstring>(*int_(-1234)), L"-1234");
    EXPECT_EQ(static_cast<std::wstring>(*uint_(4294967295u)), L"4294967295");
    std::wostringstream out;
    int_(1234)->write_ostream(out);
    EXPECT_EQ(out.str(), L"1234");
}

TEST(Integer, ReadKeepsOldContentOnFailure)
{
    value i = int_(5);
    std::wistringstream in(L"42 x");
    i->read_istream(in);
    EXPECT_EQ(as_int(i), 42);
    i->read_istream(in);
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(as_int(i), 42);
    value u = uint_(1);
    std::istringstream nin("77");
    u->read_istream(nin);
    EXPECT_EQ(as_unsigned(u), 77u);
}

// ---- reals

TEST(Real, Arithmetic)
{
    EXPECT_TRUE(std::isinf(as_double(*double_(1.0) / double_(0.0))));
    EXPECT_TRUE(std::isnan(as_double(*double_(0.0) / int_(0))));
    EXPECT_EQ(as_double(*double_(5.5) % double_(2.0)), 1.5);
    EXPECT_EQ(as_double(*double_(-5.5) % double_(2.0)), -1.5);
    // float computes in double and stores the rounded result
    value f = *float_(0.1f) + float_(0.2f);
    EXPECT_EQ(f->type_id(), tid::float_);
    EXPECT_EQ(static_cast<float>(*f), static_cast<float>(double(0.1f) + double(0.2f)));
    value d = double_(1.5);
    value alias = d;
    ++*d;
    EXPECT_EQ(as_double(alias), 2.5);
    --*alias;
    --*alias;
    EXPECT_EQ(as_double(d), 0.5);
}

TEST(Real, InPlaceArithmeticLeavesWhatTheOperatorMakes)
{
    const std::pair<value, value> cases[] = {
        {float_(0.1f), float_(0.2f)}, {double_(-5.5), double_(2.0)}, {double_(1.0), int_(0)}, {float_(3e38f), float_(10)},
    };
    for (const auto& [l, r] : cases) {
        for (arith op : {arith::add, arith::sub, arith::mul, arith::div, arith::mod}) {
            const value made = arithmetic(*l, op, r);
            value in_place = l->clone();
            ASSERT_TRUE(in_place->operate_in_place(op, r));
            EXPECT_EQ(in_place->type_id(), made->type_id());
            EXPECT_EQ(in_place->describe(), made->describe()) << l->describe() << " op " << r->describe();
        }
    }
}

TEST(Real, Comparisons)
{
    EXPECT_TRUE(as_bool(*double_(1.5) > int_(1)));
    EXPECT_TRUE(as_bool(*float_(0.5f) < double_(0.75)));
    value nan = double_(std::nan(""));
    EXPECT_FALSE(as_bool(*nan == nan));
    EXPECT_TRUE(as_bool(*nan != nan));
    EXPECT_TRUE(as_bool(!*double_(-0.0)));
}

TEST(Real, IntegerConversionsTruncateWithoutUndefinedBehaviour)
{
    EXPECT_EQ(as_int(double_(3.9)), 3);
    EXPECT_EQ(as_int(double_(-3.9)), -3);
    EXPECT_EQ(as_unsigned(double_(-1.0)), 4294967295u);
    EXPECT_EQ(as_int(double_(4294967296.0 + 5)), 5);  // the low 32 bits of the 64-bit value
    EXPECT_EQ(as_unsigned(double_(3000000000.0)), 3000000000u);
    EXPECT_EQ(as_int(double_(std::nan(""))), 0);
    EXPECT_EQ(as_unsigned(float_(std::nanf(""))), 0u);
    // beyond the 64-bit range: clamped to the 64-bit limits first
    EXPECT_EQ(as_int(double_(1e30)), -1);
    EXPECT_EQ(as_unsigned(double_(std::numeric_limits<double>::infinity())), 4294967295u);
    EXPECT_EQ(as_int(double_(-1e30)), 0);
    EXPECT_EQ(as_int(float_(-std::numeric_limits<float>::infinity())), 0);
    EXPECT_EQ(static_cast<float>(*double_(0.1)), 0.1f);
    EXPECT_TRUE(as_bool(double_(std::nan(""))));
}

TEST(Real, TextForms)
{
    EXPECT_EQ(float_(0.1f)->describe(), "float(0.1)");
    EXPECT_EQ(double_(1e10)->describe(), "double(1e+10)");
    EXPECT_EQ(double_(1234.5)->describe(), "double(1,234.5)");
    EXPECT_EQ(double_(1.0 / 3)->describe(), "double(0.333333)");
    EXPECT_EQ(static_cast<std::wstring>(*double_(1234.5)), L"1234.5");
    EXPECT_EQ(static_cast<std::wstring>(*double_(3.14159265)), L"3.14159");
    std::wostringstream out;
    float_(2.5f)->write_ostream(out);
    EXPECT_EQ(out.str(), L"2.5");
}

TEST(Real, ConstructAssignAndRead)
{
    value d = double_(1);
    d->call_constructor(int_(-4));
    EXPECT_EQ(as_double(d), -4.0);
    d->call_constructor();
    EXPECT_EQ(as_double(d), 0.0);
    *d = bool_(true);
    EXPECT_EQ(as_double(d), 1.0);
    std::wistringstream in(L"2.25 z");
    d->read_istream(in);
    EXPECT_EQ(as_double(d), 2.25);
    d->read_istream(in);
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(as_double(d), 2.25);
}

} // namespace
