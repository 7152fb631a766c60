// Unit tests of the timer value: readings, elapsed seconds, copies of the reading and refusals.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "../support.hpp"
#include "factor/timer.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

handle<timer> make_timer() { return make<timer>(); }

double number(const value& v)
{
    EXPECT_EQ(v->type_id(), tid::double_);
    return static_cast<double>(*v);
}

void expect_timer_refusal(const std::string& text, const std::string& function, const std::string& message)
{
    expect_refusal(text, "factor/timer.hpp", function, message);
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST(TimerValue, StartTwiceGivesTheSameReading)
{
    auto t = make_timer();
    const double first = number(call(t, L"start"));
    sleep_ms(5);
    EXPECT_EQ(number(call(t, L"start")), first);
    EXPECT_EQ(first, static_cast<double>(t->ticks()));
}

TEST(TimerValue, RestartTakesANewReading)
{
    auto t = make_timer();
    const double first = number(call(t, L"start"));
    sleep_ms(5);
    const double second = number(call(t, L"restart"));
    EXPECT_GE(second, first + 5);
    EXPECT_EQ(number(call(t, L"start")), second);
}

TEST(TimerValue, ElapsedCountsSecondsSinceTheReading)
{
    auto t = make_timer();
    EXPECT_LT(number(call(t, L"elapsed")), 1.0);
    sleep_ms(20);
    const double e = number(call(t, L"elapsed"));
    EXPECT_GE(e, 0.020);
    EXPECT_LT(e, 10.0);
    // The reading itself is not moved by asking.
    EXPECT_GE(number(call(t, L"elapsed")), e);
}

TEST(TimerValue, AssignmentCopiesTheReading)
{
    auto old = make_timer();
    sleep_ms(5);
    auto fresh = make_timer();
    EXPECT_FALSE(fresh->equal(old));
    *fresh = old;
    EXPECT_TRUE(fresh->equal(old));
    EXPECT_EQ(number(call(fresh, L"start")), number(call(old, L"start")));
    EXPECT_EQ(fresh->describe(), old->describe());
    auto ctor = make_timer();
    ctor->call_constructor(value(old));
    EXPECT_EQ(ctor->ticks(), old->ticks());
}

TEST(TimerValue, ElapsedWithAnArgumentIsRefused)
{
    auto t = make_timer();
    expect_timer_refusal(diagnostic([&] { call(t, L"elapsed", {int_(1)}); }), "vorla::timer::_method",
                   "id=elapsed, v[0]=int(1)");
    expect_timer_refusal(diagnostic([&] { call(t, L"stop"); }), "vorla::timer::_method", "id=stop, v=0");
    const args none;
    const std::string name = "start";
    EXPECT_EQ(static_cast<double>(*t->method(method_call<char>{none, name})), static_cast<double>(t->ticks()));
}

TEST(TimerValue, OtherTypesOperatorsAndConversionsAreRefused)
{
    auto t = make_timer();
    expect_timer_refusal(diagnostic([&] { *t = int_(1); }), "vorla::timer::operator =", "int(1)");
    expect_timer_refusal(diagnostic([&] { t->call_constructor(int_(1)); }), "vorla::timer::call_constructor", "int(1)");
    expect_timer_refusal(diagnostic([&] {
                             value(t)->call_constructor(args{int_(1), int_(2)});
                         }),
                         "vorla::timer::call_constructor", "v[0]=int(1), v[1]=int(2)");
    try {
        (void)static_cast<bool>(*t);
        ADD_FAILURE() << "converted";
    } catch (const sig_throw& thrown) {
        EXPECT_EQ(thrown.v->type_id(), tid::bad_cast);
        EXPECT_TRUE(ends_with(thrown.v->describe(), ") : vorla::timer::operator bool)")) << thrown.v->describe();
    }
}

} // namespace
