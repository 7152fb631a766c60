// An example host: a tiny simulation that owns the clock and runs each actor as a vorla script process.
//
// Usage: vorla_host [DIRECTORY]   (the directory holding actors.vl; the working directory by default)
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <vorla/vorla.hpp>

int main(int argc, char** argv)
{
    vorla::install_locale();
    vorla::interpreter_options options;
    options.include_directories.push_back(argc > 1 ? argv[1] : ".");
    // A frame is one scheduler pass; no actor may take more than this many steps in all.
    options.step_budget = 10000;
    vorla::interpreter sim(options);

    // The host's state: the clock and where each actor stands. Scripts reach it only through natives.
    int frame = 0;
    std::map<std::string, int> position;
    std::map<std::string, int> arrived;

    sim.define_native("frame", [&](const std::vector<vorla::script_value>& args) {
        if (!args.empty()) throw std::invalid_argument("frame() takes no arguments");
        return vorla::make_int(frame);
    });
    sim.define_native("place", [&](const std::vector<vorla::script_value>& args) {
        if (args.size() != 2) throw std::invalid_argument("place(name, x) takes two arguments");
        const std::string name = args[0].as_string();
        position[name] = args[1].as_int();
        if (position[name] >= 12 && !arrived.count(name)) arrived[name] = frame;
        return vorla::make_nil();
    });

    try {
        sim.compile_file("actors.vl");
        sim.start("walker", {vorla::make_string("ant"), vorla::make_int(2)});
        sim.start("walker", {vorla::make_string("hare"), vorla::make_int(3)});
        sim.start("sleeper", {vorla::make_string("owl"), vorla::make_int(3)});

        // The host's loop: the clock advances, every actor takes one step, and the world is drawn when
        // it changed.
        bool left = true;
        while (left) {
            ++frame;
            const auto before = position;
            left = sim.step();
            if (position == before) continue;
            std::cout << "frame " << frame << ':';
            for (const auto& [name, x] : position) std::cout << ' ' << name << '=' << x;
            std::cout << '\n';
        }

        for (const auto& [name, when] : arrived) {
            const vorla::script_value points = sim.call("score", {vorla::make_int(when), vorla::make_int(frame)});
            std::cout << name << " arrived at frame " << when << ", score " << points.as_int() << '\n';
        }
    } catch (const vorla::script_error& e) {
        std::cerr << e.what() << '\n' << e.report();
        return 1;
    }
    return 0;
}
