// A test fixture that compiles script text into a fresh namespace and runs it, capturing `write`.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../support.hpp"
#include "nspace.hpp"
#include "semantic/semantic.hpp"

namespace vorla::test {

class compiled_program : public ::testing::Test {
protected:
    nspace space;
    semantic<wchar_t> compiler{space};
    std::wstring out;

    // The program runs in `where`: the tests' shared state unless a test keeps its own apart.
    explicit compiled_program(context& where = test_context()) : space(where)
    {
        EXPECT_TRUE(locale_installed);
        space.natives->define(L"write", [this](args& v) -> value {
            for (const value& x : v) out += static_cast<std::wstring>(*x);
            return make<nil>();
        });
    }

    void compile(const std::wstring& text)
    {
        semantic<wchar_t>::dir_stack dirs;
        compiler.compile_str(text, dirs);
    }

    // Compiles, starts main and runs the scheduler until no process is left.
    std::wstring run(const std::wstring& text)
    {
        compile(text);
        space.start_process(L"main", args{});
        while (!space.live->empty()) space.schedule();
        return out;
    }

    // The diagnostic text of a compile (or run) that is expected to fail.
    std::string failure(const std::wstring& text)
    {
        try {
            run(text);
        } catch (const std::exception& e) {
            return e.what();
        }
        ADD_FAILURE() << "no failure for: " << narrow(text);
        return {};
    }
};

} // namespace vorla::test
