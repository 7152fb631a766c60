// Script functions of one namespace (or class), overloaded by exact parameter types.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>

#include "table/routine.hpp"

namespace vorla::table {

class function {
public:
    // `definitions` counts the definitions made in every table of the interpreter (context::definitions),
    // so that each stamp is new to all of them.
    explicit function(std::uint64_t& definitions) noexcept : definitions_(&definitions) {}

    // Refuses a second definition of the same name and parameter types ("overwrite function, ...").
    void define(const parameter_list& params, type_id_t return_type, symbol name, control_ptr body);
    // The definition whose parameter types equal the arguments' type ids, or nullptr.
    const routine* find(symbol name, std::span<const value> v) const noexcept;
    const routine* find(symbol name, const args& v) const noexcept { return find(name, std::span<const value>(v)); }
    // Every definition of the name, for a compiler that resolves a call site once.
    std::span<const routine> overloads(symbol name) const noexcept
    {
        const auto found = entries_.find(name);
        if (found == entries_.end()) return {};
        return found->second;
    }
    // Whether any definition has this name.
    bool defines(symbol name) const noexcept { return entries_.count(name) != 0; }
    // Runs the body to completion in a call frame under rt.current (a signal crossing the call is raised
    // in its C++ form); converts the returned value to the
    // declared return type; a body that falls off its end yields a new nil.
    // A miss raises the map's standard out-of-range error.
    value call(const args& v, symbol name, runtime& rt) const;
    // The call of an already found definition (rt.current becomes the frame's parent). Errors of the
    // body come out as "catch exception" over the cause. A script throw or a stray break/continue
    // crosses the call: it waits in rt.out and the call yields an empty handle. rt.out is clear when the
    // call starts (the body reports to it directly). The arguments are held for the call only: a returned
    // temporary argument is handed back without a copy.
    static value invoke(const routine& r, std::span<const value> v, runtime& rt);
    // The name a call's diagnostics give, and the "catch exception" an error of a body becomes as it
    // leaves its call: each engine's calls report through these.
    static constexpr const char* call_name = "vorla::table::function::call";
    static exception left_call(const std::exception& caught);

    // Names the table's contents: 0 while it is empty, and a number no other table of the interpreter
    // had after each definition. A table with the stamp seen earlier holds the same definitions at the
    // same addresses, so a lookup made then still stands (see nspace::call_site).
    std::uint64_t stamp() const noexcept { return stamp_; }

private:
    std::unordered_map<symbol, std::vector<routine>> entries_;
    std::uint64_t stamp_ = 0;
    std::uint64_t* definitions_;
};

} // namespace vorla::table
