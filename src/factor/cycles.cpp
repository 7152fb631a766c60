// The cycle collector: trial deletion over one interpreter's registered values, and freeing what no outside handle reaches.
#include <algorithm>
#include <limits>
#include <vector>

#include "factor/collectable.hpp"

namespace vorla {

namespace {

// The mark of a value a collection found reachable from outside. No holder count gets near it.
constexpr std::uint32_t reached = std::numeric_limits<std::uint32_t>::max();

} // namespace

// Takes from each registered child the holder its parent accounts for. Children on another
// interpreter's registry are changed too, harmlessly: their own collection starts their counts afresh.
class cycle_registry::subtract final : public child_visitor {
public:
    void operator()(factor& child) override
    {
        ++edges;
        if (collectable* c = child.cycle_node()) --c->trial_;
    }
    std::size_t edges = 0;
};

// Marks what a value reaches as reached, through a work list rather than recursion: a chain of refs may
// be millions long.
class cycle_registry::reach final : public child_visitor {
public:
    void operator()(factor& child) override
    {
        collectable* c = child.cycle_node();
        if (c && c->trial_ != reached) mark(*c);
    }
    void mark(collectable& v)
    {
        v.trial_ = reached;
        work_.push_back(&v);
    }
    void drain()
    {
        while (!work_.empty()) {
            const collectable* v = work_.back();
            work_.pop_back();
            v->visit_children(*this);
        }
    }

private:
    std::vector<const collectable*> work_;
};

cycle_registry::~cycle_registry()
{
    while (first_) leave(*first_);
}

void cycle_registry::least_growth(std::size_t n) noexcept
{
    growth_ = std::max<std::size_t>(n, 1);
    next_run_ = count_ + growth_;
}

std::size_t cycle_registry::collect()
{
    // Every value starts with all its holders. The registry is walked once, into an array: each step of
    // a linked list waits for the load before it, while the passes over an array overlap their loads.
    std::vector<collectable*> all;
    all.reserve(count_);
    for (collectable* v = first_; v; v = v->next_) {
        v->trial_ = v->holders_;
        all.push_back(v);
    }
    // The handles registered values hold are taken away.
    subtract inside;
    for (const collectable* v : all) v->visit_children(inside);

    // A value with a holder left is held from outside: it and everything it reaches stay.
    reach outside;
    for (collectable* v : all) {
        if (v->trial_ == 0 || v->trial_ == reached) continue;
        outside.mark(*v);
        outside.drain();
    }

    // The rest is held only by itself. Each value is kept by a handle here while all of them give up
    // what they hold, so none goes before it has been emptied; dropping these handles then frees them.
    // What stays is the registry from now on (freeing the rest frees no value reached).
    std::vector<value> unreachable;
    for (collectable* v : all)
        if (v->trial_ != reached) unreachable.emplace_back(v);
    count_ = all.size() - unreachable.size();
    all = {};
    for (const value& v : unreachable) release_children(*v);
    const std::size_t freed = unreachable.size();
    unreachable.clear();

    // The next collection waits until the registry has grown by what this one cost to walk (values
    // and the handles they hold), so collecting costs a constant per value made whatever the heap's shape.
    next_run_ = count_ + std::max({growth_, count_, inside.edges / 8});
    return freed;
}

} // namespace vorla
