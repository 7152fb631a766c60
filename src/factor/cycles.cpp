// The cycle collector: trial deletion over what one interpreter's roots reach, and freeing what no outside handle reaches.
#include <algorithm>

#include "factor/collectable.hpp"

namespace vorla {

namespace {

// Between collections every value is idle; a collection marks with the same value what it finds
// reachable from outside, so its survivors are left idle with no pass of their own.
constexpr std::uint32_t reached = std::numeric_limits<std::uint32_t>::max();

} // namespace

// Gathers the part of the heap the roots reach, breadth first, with the part itself as the queue: each
// value joins with all its holders, and loses one for every handle a value of the part holds on it.
// The part is closed: a value joins it with everything it holds.
class cycle_registry::gather final : public child_visitor {
public:
    explicit gather(std::vector<collectable*>& part) : part_(part) {}
    void operator()(factor& child) override
    {
        ++edges;
        if (collectable* c = child.cycle_node()) {
            join(*c);
            --c->trial_;
        }
    }
    void join(collectable& v)
    {
        if (v.trial_ != collectable::idle) return;
        v.trial_ = v.holders_;
        part_.push_back(&v);
    }
    std::size_t edges = 0;

private:
    std::vector<collectable*>& part_;
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
    std::vector<collectable*>& part = part_;
    part.clear();
    gather inside(part);
    for (collectable* r = first_; r; r = r->next_) inside.join(*r);
    // The part grows while it is walked: index, not iterators.
    for (std::size_t i = 0; i < part.size(); ++i) part[i]->visit_children(inside);

    // A value with a holder left is held from outside: it and everything it reaches stay.
    reach outside;
    for (collectable* v : part) {
        if (v->trial_ == 0 || v->trial_ == reached) continue;
        outside.mark(*v);
        outside.drain();
    }

    // The rest is held only by itself. Each value gets one more holder first, so that none goes before
    // its turn to be emptied; it then gives up what it holds and drops that holder, which frees it unless
    // a value of the rest not yet emptied still holds it (that one frees it when its turn comes). Freeing
    // them frees no value reached: each of those has a holder outside the rest.
    const std::size_t looked_at = part.size();
    std::size_t garbage = 0;
    for (collectable* v : part) {
        if (v->trial_ == reached) continue;
        v->trial_ = collectable::idle;
        ++v->holders_;
        part[garbage++] = v;
    }
    part.resize(garbage);
    for (collectable* v : part) {
        release_children(*v);
        if (--v->holders_ == 0) delete static_cast<factor*>(v);
    }
    part.clear();
    // A collection that looked at far more than usual gives its memory back.
    if (part.capacity() > 4 * std::max(looked_at, growth_)) part.shrink_to_fit();

    // The next collection waits until the count has grown by what this one cost to walk (the values that
    // stay and the handles they hold), so collecting costs a constant per value made whatever the
    // heap's shape.
    next_run_ = count_ + std::max({growth_, looked_at - garbage, inside.edges / 8});
    return garbage;
}

} // namespace vorla
