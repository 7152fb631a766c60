// One interpreter's count of the values that can hold others, its list of the values a cycle must pass through, and the collector that frees such cycles.
#pragma once

#include <cstddef>
#include <vector>

namespace vorla {

class collectable;

// Counting frees a value when its last handle goes, but a group of values holding each other (a vector
// holding a ref to itself) keeps its counts above zero forever.
//
// Values are copied into containers and members, so the handles that containers, members and base
// parts hold form a forest: each value is held by at most one of them. A cycle needs a handle that
// shares a value instead: a `ref`, or a reference member of a class instance. Every cycle therefore
// passes through one of these, the roots, and a garbage cycle is within what the roots reach. Roots are
// listed on the registry of the interpreter that made them from construction to destruction; every
// other value that can hold others (collectable.hpp) is only counted while it lives, which costs one
// increment and one decrement, and a program without refs or reference members is never walked.
//
// A collection is trial deletion over the part of the heap the roots reach: from each value's holder
// count it takes the handles that values of the part hold; a value with holders left is held from
// outside (a variable, a temporary on the C++ stack, a host, a value outside the part), and it and all
// it reaches live. Whatever remains is held only from inside unreachable groups: each gives up its
// handles, and counting frees them all. When the count has grown enough since the last collection, the
// interpreter asks for one at its next call or loop iteration, where no value is half-changed.
class cycle_registry {
public:
    cycle_registry() = default;
    cycle_registry(const cycle_registry&) = delete;
    cycle_registry& operator=(const cycle_registry&) = delete;
    // Roots still alive (a host kept them) leave untracked: they are freed by counting alone from then on.
    ~cycle_registry();

    // Values alive that can hold others, counted as made while this interpreter ran and dropped while it
    // ran (a value made by one interpreter and dropped while another runs is counted off there).
    std::size_t tracked() const noexcept { return count_; }
    // Whether the count has grown enough that a collection is worth its cost.
    bool due() const noexcept { return count_ >= next_run_; }
    // Collects when due: the check the interpreter makes at its safe points.
    void poll()
    {
        if (due()) collect();
    }
    // Frees every value that only unreachable groups hold; the number freed.
    std::size_t collect();

    // The least growth of the count between two collections (default_growth unless changed). A fuzz
    // target sets it small so that collections run often enough to be tried against every input.
    void least_growth(std::size_t n) noexcept;
    static constexpr std::size_t default_growth = 4096;

private:
    friend class collectable;
    // Lists v as a root (see above).
    void enter(collectable& v) noexcept;
    // Lists v as a root on the registry `beside` is listed on, if any (a copy of a root).
    static void enter_beside(const collectable& beside, collectable& v) noexcept;
    // Takes v off whichever registry lists it.
    static void leave(collectable& v) noexcept;
    void made() noexcept { ++count_; }
    void dropped() noexcept { count_ -= count_ != 0; }

    // The two walks of a collection (cycles.cpp).
    class gather;
    class reach;

    collectable* first_ = nullptr;  // the roots
    std::size_t count_ = 0;
    std::size_t growth_ = default_growth;
    std::size_t next_run_ = default_growth;
    // The values a collection looks at, kept between collections so that each does not allocate anew.
    std::vector<collectable*> part_;
};

} // namespace vorla
