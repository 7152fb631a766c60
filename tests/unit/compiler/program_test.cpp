// Unit tests of whole programs compiled from text and run by the scheduler: statements, declarations,
// processes, functions, inline functions, globals and the compiler's diagnostics.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "compiled_program.hpp"
#include "semantic/ptree.hpp"
#include "semantic/s_statement.hpp"

namespace {

using namespace vorla;
using namespace vorla::test;

class program : public compiled_program {};

TEST_F(program, ExpressionsRunWithTheirFolds)
{
    EXPECT_EQ(run(L"process main() { int a; int b; int c =7; a = b = c; using::write(string(a), string(b));"
                  L" using::write(\",\", string(10 - 3 - 2), \",\", string(100 / 10 / 5));"
                  L" int x =1; using::write(\",\", string(-!x), \",\", string(2 + 3 * 4)); }"),
              L"77,5,2,0,14");
}

TEST_F(program, DeclarationsWithPlainAndReferenceDeclarators)
{
    EXPECT_EQ(run(L"process main() { int a, &b = a, c(3); b = 5; using::write(string(a), string(c));"
                  L" int d =a; d = 9; using::write(string(a)); int &e(a); e = 1; using::write(string(a)); }"),
              L"5351");
}

TEST_F(program, DeclarationShape)
{
    using namespace vorla::detail::semantic;
    parse_info info = parse_program(L"int a, &b = a, c(3);");
    ASSERT_TRUE(info.full);
    s_statement<wchar_t> part(space);
    expr d = part.eval_declaration(info.tree.children.at(0));
    auto decl = dynamic_cast<const e_declare*>(d.get());
    ASSERT_TRUE(decl);
    ASSERT_EQ(decl->declarators.size(), 3u);
    auto a = dynamic_cast<const e_constructor*>(decl->declarators[0].get());
    auto b = dynamic_cast<const e_ref_constructor*>(decl->declarators[1].get());
    auto c = dynamic_cast<const e_constructor*>(decl->declarators[2].get());
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(*a->name, L"a");
    EXPECT_TRUE(a->arguments.empty());
    EXPECT_EQ(*b->name, L"b");
    EXPECT_EQ(b->type, tid::signed_);
    EXPECT_EQ(c->arguments.size(), 1u);
}

TEST_F(program, ReferenceDeclaratorNeedsExactlyOneArgument)
{
    EXPECT_HAS(failure(L"process main() { int x; int y; int &r(x, y); }"),
               "invalid argument count of constructor for refference, int& r");
    EXPECT_HAS(failure(L"process main() { int &r(); }"), "invalid argument count of constructor for refference, int& r");
}

TEST_F(program, RefusedLiteralInAnInitializerIsNotDroppedToADefault)
{
    EXPECT_HAS(failure(L"process main() { int x =4294967296; }"), "numeric literal out of range, literal=4294967296");
}

TEST_F(program, IfElseAndAFailingElseBranch)
{
    EXPECT_EQ(run(L"process main() { int a =0; if (a) using::write(\"t\"); else using::write(\"f\");"
                  L" if (a) using::write(\"t\"); else { widget w; using::write(\"never\"); } using::write(\".\"); }"),
              L"f.");
    using namespace vorla::detail::semantic;
    parse_info info = parse_program(L"process p() { if (a) ; else { widget w; } if (a) ; else ; }");
    ASSERT_TRUE(info.full);
    s_statement<wchar_t> part(space);
    const pnode& block = info.tree.children.at(0).children.at(2);
    auto body = std::dynamic_pointer_cast<c_compound>(part.eval_block(block));
    ASSERT_TRUE(body);
    ASSERT_EQ(body->statements->size(), 2u);
    EXPECT_TRUE(std::dynamic_pointer_cast<c_if>((*body->statements)[0]));
    EXPECT_TRUE(std::dynamic_pointer_cast<c_if_else>((*body->statements)[1]));
}

TEST_F(program, WhileBreakContinue)
{
    EXPECT_EQ(run(L"process main() { int i =0; while (true) { i += 1; if (i == 2) continue; if (i > 4) break;"
                  L" using::write(string(i)); } }"),
              L"134");
}

TEST_F(program, TryCatchClauses)
{
    EXPECT_EQ(run(L"process main() { try { throw 3; } catch (int v) { using::write(\"int\", string(v)); }"
                  L" try { throw 2.5; } catch (int v) { using::write(\"no\"); } catch () { using::write(\",any\"); } }"),
              L"int3,any");
    EXPECT_HAS(failure(L"process main() { try { } catch (int a, int b) { } }"), "invalid arguments size");
    EXPECT_HAS(failure(L"process main() { try { } catch (int a) { } catch (int b) { } }"), "overwrite catch statement");
}

TEST_F(program, ProcessesInterleaveOneStatementPerPass)
{
    compile(L"process A() { using::write(\"a1 \"); using::write(\"a2 \"); using::write(\"a3 \"); }"
            L"process B() { using::write(\"b1 \"); using::write(\"b2 \"); using::write(\"b3 \"); }");
    space.start_process(L"A", args{});
    space.start_process(L"B", args{});
    while (!space.live->empty()) space.schedule();
    EXPECT_EQ(out, L"a1 b1 a2 b2 a3 b3 ");
}

TEST_F(program, ProcessStartedMidPassRunsInThatPass)
{
    // Pass 1: main starts A, A writes a1. Pass 2: main starts B, A writes a2, B writes b1 ...
    EXPECT_EQ(run(L"process A() { using::write(\"a1 \"); using::write(\"a2 \"); using::write(\"a3 \"); }"
                  L"process B(string s) { using::write(s, \"1 \"); using::write(s, \"2 \"); }"
                  L"process main() { process::A x(); process::B y(\"b\"); }"),
              L"a1 a2 b1 a3 b2 ");
}

TEST_F(program, ProcessStartBeforeItsDefinitionFails)
{
    EXPECT_HAS(failure(L"process main() { process::later v(); } process later() { }"),
               "catch exception, pid=p?later sid=v\n>\tUnable to find key in unordered_map.");
}

TEST_F(program, FunctionsAndOverloads)
{
    EXPECT_EQ(run(L"int f(int x) { return x + 1; } string f(string s) { return s + \"!\"; }"
                  L"int g(int &r) { r = 10; return 0; }"
                  L"process main() { using::write(string(f(1)), f(\"a\")); int v =1; g(v); using::write(string(v)); }"),
              L"2a!10");
}

TEST_F(program, DuplicateFunctionIsRefusedWithItsWrapping)
{
    const std::string e = failure(L"int f(int x) { return 1; } double f(int y) { return 2.0; }");
    EXPECT_HAS(e, "semantic failure");
    EXPECT_HAS(e, "vorla::detail::semantic::s_class<wchar_t>::eval_function_def: catch exception\n>\t");
    EXPECT_HAS(e, "overwrite function");
}

TEST_F(program, UnknownParameterTypeFailsAtCompileTime)
{
    EXPECT_HAS(failure(L"int f(widget w) { return 1; }"), "undefined typeid string, sid=widget");
}

TEST_F(program, InlineFunctions)
{
    EXPECT_EQ(run(L"inline show(int x) { using::write(\"<\", string(x), \">\"); }"
                  L"process main() { inline show(4); inline show(5); }"),
              L"<4><5>");
}

TEST_F(program, GlobalDeclarationsRunAtOnce)
{
    EXPECT_EQ(run(L"int f() { return 41; } int g =f(); process main() { g += 1; using::write(string(g)); }"), L"42");
}

TEST_F(program, GlobalFromALaterFunctionFails)
{
    const std::string e = failure(L"int y =f(); int f() { return 1; }");
    EXPECT_HAS(e, "vorla::semantic<wchar_t>::global_declaration: catch exception");
    EXPECT_HAS(e, "function id resolution failure");
    // Nothing after the failing declaration was compiled.
    EXPECT_FALSE(space.functions->find(intern(L"f"), args{}));
}

TEST_F(program, GlobalInitializerThrowing)
{
    EXPECT_HAS(failure(L"int f() { throw 3; } int y =f();"), "global_declaration: catch unexpected throw int(3)");
}

TEST_F(program, ASecondClassOfOneNameIsRefused)
{
    const std::string e = failure(L"class widget { int a; }; class widget;");
    EXPECT_HAS(e, "semantic failure");
    EXPECT_HAS(e, "eval_class_def: catch exception");
    EXPECT_HAS(e, "typeid already exists, sid=widget");
}

TEST_F(program, ParsingFailureText)
{
    const std::string e = failure(L"int x =1e5;");
    EXPECT_HAS(e, "vorla::semantic<wchar_t>::compile_str: parsing failure,  match=1 full=0 length=0 stop=int x =1e5;");
    const std::string tail = failure(L"int x; int y =1e5;");
    EXPECT_HAS(tail, "parsing failure,  match=1 full=0 length=7 stop=int y =1e5;");
    // A line comment without a line feed makes the stripper fail: no parse ran.
    EXPECT_HAS(failure(L"int x; // end"), "parsing failure,  match=0 full=0 length=0 stop=");
}

// Deep input ends in the compiler's statement limit, or earlier in the parser's own stack limit (which
// depends on the build's frame sizes); never in a crash or a silently shortened program.
void expect_refused_nesting(const std::string& e)
{
    EXPECT_TRUE(e.find("statement nesting too deep, limit=1,000") != std::string::npos ||
                e.find("parsing failure") != std::string::npos)
        << e.substr(0, 300);
}

TEST_F(program, DeepStatementNestingIsRefused)
{
    std::wstring text = L"process main() ";
    for (int i = 0; i < 1500; ++i) text += L"{";
    for (int i = 0; i < 1500; ++i) text += L"}";
    expect_refused_nesting(failure(text));

    std::wstring ifs = L"process main() { int a; ";
    for (int i = 0; i < 1500; ++i) ifs += L"if (a) ";
    expect_refused_nesting(failure(ifs + L"; }"));
}

// An else-if chain is one statement however long, stepped in a process and run whole in a function; its
// branches nest one level below it.
TEST_F(program, ElseIfChainsAreFlat)
{
    std::wstring chain = L"if (x == 0) r = 0;";
    for (int i = 1; i < 1500; ++i) chain += L" else if (x == " + std::to_wstring(i) + L") r = " + std::to_wstring(i) + L";";
    chain += L" else r =-1;";
    EXPECT_EQ(run(L"int r =-2; inline pick(int x) { " + chain + L" } int f(int x) { inline pick(x); return r; }"
                  L" process main() { inline pick(1499); using::write(string(r), \",\", string(f(700)), \",\","
                  L" string(f(1500))); }"),
              L"1499,700,-1");
    std::wstring deep = L"process main() { int a; if (a) ; else if (a) {";
    for (int i = 0; i < 1500; ++i) deep += L"{";
    for (int i = 0; i < 1500; ++i) deep += L"}";
    expect_refused_nesting(failure(deep + L"} }"));
}

// A link that fails to compile is an else-branch dropped with the rest of the chain, as it always was.
TEST_F(program, ElseIfLinksThatFailAreDroppedWithTheRest)
{
    EXPECT_EQ(run(L"process main() { int x =7; if (x == 1) using::write(\"1\"); else if (x == 2) using::write(\"2\");"
                  L" else if (x == 3) { widget w; } else using::write(\"else\"); if (x == 4) ; else if (x == 5) ;"
                  L" else { widget w; } using::write(\".\"); }"),
              L".");
}

TEST_F(program, CompilerRefusalsInAnElseBranchAreNotDropped)
{
    EXPECT_HAS(failure(L"process main() { int a; if (a) ; else { int x =4294967296; } }"),
               "numeric literal out of range, literal=4294967296");
}

TEST_F(program, DeepInputNeverCrashes)
{
    for (const wchar_t* unit : {L"(", L"{", L"-"}) {
        std::wstring text = L"process main() { int x =";
        for (int i = 0; i < 100000; ++i) text += unit;
        text += L"1;}";
        EXPECT_THROW(run(text), vorla::exception);
    }
    // A chain is no nesting: 20,000 operators compile and run.
    std::wstring chain = L"process main() { int x =1; x =";
    for (int i = 0; i < 20000; ++i) chain += L"x*";
    chain += L"2; using::write(string(x)); }";
    EXPECT_EQ(run(chain), L"2");
}

} // namespace
