// Uses the installed library: a script function called from the host, a native, output routed to a string.
#include <iostream>
#include <sstream>

#include <vorla/vorla.hpp>

int main()
{
    std::ostringstream out;
    vorla::interpreter_options options;
    options.output = &out;
    vorla::interpreter v(options);
    v.define_native("twice", [](const std::vector<vorla::script_value>& a) { return vorla::make_int(2 * a.at(0).as_int()); });
    v.compile_string("consumer.vl", "int f(int n) { return using::twice(n) + 1; }\n"
                                    "process main(int n) { using::write(\"f=\" + f(n)); }\n");
    v.start("main", {vorla::make_int(20)});
    v.run();
    const int direct = v.call("f", {vorla::make_int(4)}).as_int();
    std::cout << out.str() << " direct=" << direct << '\n';
    return out.str() == "f=41" && direct == 9 ? 0 : 1;
}
