// One interpreter's list of the values that can close a reference cycle, and the collector that frees such cycles.
#pragma once

#include <cstddef>

namespace vorla {

class collectable;

// Counting frees a value when its last handle goes, but a group of values holding each other (a vector
// holding a ref to itself) keeps its counts above zero forever. Every value that can hold others
// (collectable.hpp) is on the registry of the interpreter that made it, from construction to
// destruction; when their number has grown enough since the last look, the interpreter asks for a
// collection at its next call or loop iteration, where no value is half-changed.
//
// A collection is trial deletion over the registry: from each value's holder count it takes the handles
// that other registered values hold; a value with holders left is held from outside (a variable, a
// temporary on the C++ stack, a host), and it and all it reaches live. Whatever remains is held only from
// inside unreachable groups: each gives up its handles, and counting frees them all.
class cycle_registry {
public:
    cycle_registry() = default;
    cycle_registry(const cycle_registry&) = delete;
    cycle_registry& operator=(const cycle_registry&) = delete;
    // Values still alive (a host kept them) leave untracked: they are freed by counting alone from then on.
    ~cycle_registry();

    // Registered values, counted since the last collection as made here and dropped while this
    // interpreter ran (exact right after a collection).
    std::size_t tracked() const noexcept { return count_; }
    // Whether the registry has grown enough that a collection is worth its cost.
    bool due() const noexcept { return count_ >= next_run_; }
    // Collects when due: the check the interpreter makes at its safe points.
    void poll()
    {
        if (due()) collect();
    }
    // Frees every registered value that only unreachable groups hold; the number freed.
    std::size_t collect();

    // The least growth of the registry between two collections (default_growth unless changed). A fuzz
    // target sets it small so that collections run often enough to be tried against every input.
    void least_growth(std::size_t n) noexcept;
    static constexpr std::size_t default_growth = 4096;

private:
    friend class collectable;
    void enter(collectable& v) noexcept;
    // Takes v off whichever registry holds it.
    static void leave(collectable& v) noexcept;
    void dropped() noexcept { count_ -= count_ != 0; }

    // The two walks of a collection (cycles.cpp).
    class subtract;
    class reach;


    collectable* first_ = nullptr;
    std::size_t count_ = 0;
    std::size_t growth_ = default_growth;
    std::size_t next_run_ = default_growth;
};

} // namespace vorla
