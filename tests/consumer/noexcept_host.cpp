// A host built with -fno-exceptions against the installed package: only the try_ calls, every error read
// from a result. Exits 0 when each outcome is the expected one.
#include <iostream>
#include <string>
#include <vector>

#include <vorla/vorla.hpp>

int main()
{
    vorla::interpreter v;
    const vorla::result<void> bad = v.try_compile_string("bad.vl", "int f()\n{\n    return 1 +;\n}\n");
    if (bad.ok() || bad.error().line() != 3) return 1;

    const vorla::result<void> good = v.try_compile_string("good.vl", "int total = 0;\n"
                                                                     "int half(int n) { return n / 2; }\n"
                                                                     "process add(int n) { total += n; }\n");
    if (!good.ok()) return 2;
    const vorla::result<vorla::script_value> four = v.try_call("half", {vorla::make_int(8)});
    if (!four.ok() || four.value().as_int() != 4) return 3;
    const vorla::result<vorla::script_value> zero = v.try_call("half", {vorla::make_string("x")});
    if (zero.ok()) return 4;

    const vorla::result<vorla::process_handle> adder = v.try_start("add", {vorla::make_int(5)});
    if (!adder.ok() || adder.value().name() != "add") return 5;
    if (v.try_start("nosuch").ok()) return 6;
    if (!v.try_run().ok() || !adder.value().finished()) return 7;
    const vorla::result<vorla::script_value> total = v.try_global("total");
    if (!total.ok() || total.value().as_int() != 5) return 8;
    if (v.try_set_global("total", vorla::make_string("x")).ok()) return 9;
    std::cout << "no exceptions: " << zero.error().report().substr(0, zero.error().report().find('\n')) << '\n';
    return 0;
}
