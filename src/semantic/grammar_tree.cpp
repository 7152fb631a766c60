// The compact parse tree: building it bottom-up, and the parts of its node views not worth inlining.
#include <stdexcept>

#include "semantic/ptree.hpp"

namespace vorla::detail::semantic {

const std::wstring& pnode::text_string() const
{
    static const std::wstring none;
    return pooled_ ? *pooled_ : none;
}

void pnode_children::out_of_range() { throw std::out_of_range("pnode_children::at"); }

ptree::ptree(std::shared_ptr<const ptree_store> store, std::uint32_t root)
    : pnode(store.get(), root, 0), store_(std::move(store))
{
}

tree_builder::tree_builder() : store_(std::make_shared<ptree_store>())
{
    for (int r = 0; r < rule_count; ++r) {
        store_->paths.push_back({static_cast<std::uint32_t>(r), 1});
        store_->path_rules.push_back(static_cast<std::uint8_t>(r));
    }
}

std::uint32_t tree_builder::text_index(std::wstring_view text)
{
    if (const auto found = text_index_.find(text); found != text_index_.end()) return found->second;
    const auto index = static_cast<std::uint32_t>(store_->texts.size());
    const std::wstring& kept = store_->texts.emplace_back(text);
    text_index_.emplace(kept, index);
    return index;
}

void tree_builder::leaf(rule id, std::wstring_view text, std::uint32_t offset)
{
    pnode_record r;
    r.path = static_cast<std::uint16_t>(id);
    r.leaf = true;
    r.offset = offset;
    r.first = text_index(text);
    open_.push_back(r);
}

void tree_builder::close(rule id, point from, std::uint32_t empty_offset)
{
    const std::size_t count = open_.size() - from.open;
    if (count == 1) {
        // A single child joins its parent's record: the record's path grows by the parent's rule.
        pnode_record& only = open_.back();
        const std::uint32_t key = static_cast<std::uint32_t>(id) << 16 | only.path;
        if (const auto found = longer_path_.find(key); found != longer_path_.end()) {
            only.path = found->second;
            return;
        }
        std::vector<pnode_path>& paths = store_->paths;
        const pnode_path below = paths[only.path];
        // Past these bounds (parentheses nested hundreds deep, an absurd variety of runs) the node simply
        // gets a record of its own.
        if (below.length < 255 && paths.size() < ptree_store::max_paths) {
            std::vector<std::uint8_t>& rules = store_->path_rules;
            const pnode_path longer{static_cast<std::uint32_t>(rules.size()), static_cast<std::uint8_t>(below.length + 1)};
            rules.push_back(static_cast<std::uint8_t>(id));
            for (std::uint32_t i = 0; i < below.length; ++i) rules.push_back(rules[below.start + i]);
            only.path = static_cast<std::uint16_t>(paths.size());
            paths.push_back(longer);
            longer_path_.emplace(key, only.path);
            return;
        }
    }
    pnode_record r;
    r.path = static_cast<std::uint16_t>(id);
    r.offset = count ? open_[from.open].offset : empty_offset;
    r.first = static_cast<std::uint32_t>(store_->size());
    r.count = static_cast<std::uint32_t>(count);
    for (std::size_t i = from.open; i < open_.size(); ++i) store_->push_back(open_[i]);
    open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(from.open), open_.end());
    open_.push_back(r);
}

ptree tree_builder::finish()
{
    store_->push_back(open_.back());
    std::vector<pnode_record>().swap(open_);
    text_index_.clear();
    longer_path_.clear();
    const auto root = static_cast<std::uint32_t>(store_->size() - 1);
    return ptree(std::move(store_), root);
}

ptree build_tree(const plain_node& root)
{
    tree_builder b;
    struct step {
        const plain_node* n;
        std::size_t next;  // the next child to build
        tree_builder::point from;
    };
    std::vector<step> todo{{&root, 0, b.here()}};
    while (!todo.empty()) {
        step& s = todo.back();
        const plain_node* n = s.n;
        if (n->leaf) {
            b.leaf(n->id, n->text, n->offset);
            todo.pop_back();
        } else if (s.next < n->children.size()) {
            const plain_node* child = &n->children[s.next++];
            todo.push_back({child, 0, b.here()});
        } else {
            b.close(n->id, s.from, n->offset);
            todo.pop_back();
        }
    }
    return b.finish();
}

}  // namespace vorla::detail::semantic
