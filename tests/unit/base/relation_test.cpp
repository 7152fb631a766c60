// The plain-truth answers of comparisons (what a condition uses) against the operator slots' bool values.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "../support.hpp"
#include "factor/vector_.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

constexpr relation every_relation[] = {relation::eq, relation::ne, relation::gt,   relation::lt,
                                       relation::ge, relation::le, relation::and_, relation::or_};

// What an operation ends in: the truth it gives, or the text of what it raises.
struct outcome {
    bool raised = false;
    bool truth = false;
    std::string text;
};

template <class F>
outcome run(F f)
{
    outcome o;
    try {
        o.truth = f();
    } catch (const std::exception& e) {
        o.raised = true;
        o.text = e.what();
    } catch (const sig_throw& t) {
        o.raised = true;
        o.text = "script throw " + t.v->describe();
    }
    return o;
}

// Every pair of operands, every relation: where the left value answers plainly, the answer (or the
// refusal) is exactly the operator slot's.
TEST(Relation, PlainTruthIsTheOperatorSlotsBool)
{
    const std::vector<value> operands = {
        int_(0),
        int_(7),
        int_(-1),
        int_(std::numeric_limits<int>::min()),
        uint_(0),
        uint_(4294967295u),
        float_(2.5f),
        double_(7.0),
        double_(std::numeric_limits<double>::quiet_NaN()),
        double_(-0.0),
        str(L""),
        str(L"7"),
        str(L"abc"),
        str(L"abd"),
        str(L"ab"),
        bool_(true),
        nil_(),
        make<vector_>(),
    };
    int answered = 0;
    for (const value& l : operands)
        for (const value& r : operands)
            for (relation op : every_relation) {
                bool plain = false;
                bool handled = false;
                const outcome fast = run([&] {
                    handled = l->test_relation(op, r, plain);
                    return plain;
                });
                if (!fast.raised && !handled) continue;  // left to the slot
                ++answered;
                const outcome slot = run([&] { return truth(relate(*l, op, r)); });
                const std::string what = l->describe() + " " + std::to_string(static_cast<int>(op)) + " " + r->describe();
                ASSERT_EQ(fast.raised, slot.raised) << what;
                EXPECT_EQ(fast.text, slot.text) << what;
                if (!fast.raised) {
                    EXPECT_EQ(fast.truth, slot.truth) << what;
                }
            }
    EXPECT_GT(answered, 0);
}

// Numbers and strings answer every comparison plainly; strings leave && and || to their slots (which refuse).
TEST(Relation, WhichClassesAnswerPlainly)
{
    bool out = false;
    EXPECT_TRUE(int_(1)->test_relation(relation::lt, int_(2), out));
    EXPECT_TRUE(out);
    EXPECT_TRUE(double_(1)->test_relation(relation::and_, int_(0), out));
    EXPECT_FALSE(out);
    EXPECT_TRUE(str(L"b")->test_relation(relation::gt, str(L"a"), out));
    EXPECT_TRUE(out);
    EXPECT_FALSE(str(L"b")->test_relation(relation::and_, str(L"a"), out));
    EXPECT_FALSE(make<vector_>()->test_relation(relation::eq, make<vector_>(), out));
}

// A number's && and || leave the right operand unconverted when the left one decides, as the slots do.
TEST(Relation, LogicAsksTheRightOperandOnlyWhenNeeded)
{
    bool out = true;
    EXPECT_TRUE(int_(0)->test_relation(relation::and_, make<vector_>(), out));  // a vector has no int
    EXPECT_FALSE(out);
    EXPECT_TRUE(int_(3)->test_relation(relation::or_, make<vector_>(), out));
    EXPECT_TRUE(out);
    EXPECT_THROW(int_(3)->test_relation(relation::and_, make<vector_>(), out), sig_throw);  // bad_cast
}

} // namespace
