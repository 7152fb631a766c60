// An example host: a tiny game loop that owns the clock and the sprites, and runs each actor as a vorla script process.
//
// Usage: vorla_host [DIRECTORY]   (the directory holding actors.vl; the working directory by default)
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <vorla/vorla.hpp>

// The host's own object: a figure on the course. Scripts hold it as a value of the host type `sprite`
// and move it through its methods; the host draws it.
struct sprite {
    std::string name;
    int x = 0;
    std::optional<int> arrived;  // the frame it reached the finish
};

int main(int argc, char** argv)
{
    vorla::interpreter_options options;
    options.include_directories.push_back(argc > 1 ? argv[1] : ".");
    vorla::interpreter sim(options);

    // The host's state: the clock, the finish line and the sprites. Scripts reach it only through the
    // native and the sprites' methods.
    int frame = 0;
    const int finish = 12;
    std::vector<std::shared_ptr<sprite>> sprites;

    sim.define_native("frame", [&](const std::vector<vorla::script_value>& args) {
        if (!args.empty()) throw std::invalid_argument("frame() takes no arguments");
        return vorla::make_int(frame);
    });
    sim.define_type<sprite>("sprite")
        .method("x", [](sprite& s, const std::vector<vorla::script_value>& args) {
            if (!args.empty()) throw std::invalid_argument("x() takes no arguments");
            return vorla::make_int(s.x);
        })
        .method("move", [&](sprite& s, const std::vector<vorla::script_value>& args) {
            if (args.size() != 1) throw std::invalid_argument("move(dx) takes one argument");
            const int dx = args[0].as_int();
            // A step backwards is the script's mistake, and a script can catch it like a built-in's.
            if (dx < 0) throw vorla::script_throw::range_error(s.name + " cannot go back");
            s.x += dx;
            if (s.x >= finish && !s.arrived) s.arrived = frame;
            return vorla::make_nil();
        })
        .describe([](const sprite& s) { return s.name + " at " + std::to_string(s.x); });

    try {
        sim.compile_file("actors.vl");
        // The course is the host's to set: the scripts' global finish line.
        sim.set_global("finish", vorla::make_int(finish));
        for (const char* name : {"ant", "hare", "owl", "cat"}) sprites.push_back(std::make_shared<sprite>(sprite{name, 0, std::nullopt}));
        vorla::process_handle ant = sim.start("walker", {sim.make_object(sprites[0]), vorla::make_int(1)});
        sim.start("walker", {sim.make_object(sprites[1]), vorla::make_int(3)});
        sim.start("sleeper", {sim.make_object(sprites[2]), vorla::make_int(3)});
        sim.start("dreamer", {sim.make_object(sprites[3])});

        // The host's loop: the clock advances, every actor takes one step within the frame's budget, and
        // the world is drawn when it changed. An actor whose step fails is reported and dropped; the
        // others go on.
        const vorla::budget per_frame{1000, std::nullopt};
        std::vector<int> drawn(sprites.size(), -1);
        bool left = true;
        while (left) {
            ++frame;
            try {
                left = sim.step(per_frame);
            } catch (const vorla::script_error& e) {
                std::cout << "frame " << frame << ": " << e.report().substr(0, e.report().find('\n')) << '\n';
                left = sim.processes() > 0;
            }
            if (frame == 14 && !ant.finished()) {
                ant.stop();
                std::cout << "frame " << frame << ": the host stops the ant, " << ant.name() << '#' << ant.id() << " with "
                          << sim.make_object(sprites[0]).describe() << '\n';
                left = sim.processes() > 0;
            }
            std::vector<int> now;
            for (const auto& s : sprites) now.push_back(s->x);
            if (now == drawn) continue;
            drawn = now;
            std::cout << "frame " << frame << ':';
            for (const auto& s : sprites) std::cout << ' ' << s->name << '=' << s->x;
            std::cout << '\n';
        }

        std::cout << "the cat had " << sim.global("thoughts").as_int() << " thoughts; steps back refused: "
                  << sim.global("refused").as_int() << '\n';
        // A script object built by the host: the judge knows how many frames the race took.
        const vorla::script_value judge = sim.construct("Judge", {vorla::make_int(frame)});
        for (const auto& s : sprites) {
            if (!s->arrived) continue;
            const vorla::script_value points =
                sim.call_method(judge, "score", {sim.make_object(s), vorla::make_int(*s->arrived)});
            std::cout << s->name << " arrived at frame " << *s->arrived << ", score " << points.as_int() << '\n';
        }
    } catch (const vorla::script_error& e) {
        std::cerr << e.what() << '\n' << e.report();
        return 1;
    }
    return 0;
}
