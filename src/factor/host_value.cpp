// Host objects: how a value standing for a host's C++ object is constructed, compared, called and shown.
#include "factor/host_value.hpp"

#include <ostream>

#include "factor/boolean.hpp"
#include "factor/method_table.hpp"

namespace vorla {

host_class::host_class(std::string type_name, type_id_t type_id, const void* cpp_key)
    : name(std::move(type_name)),
      id(type_id),
      key(cpp_key),
      class_name_("vorla::host<" + name + ">"),
      site_{__FILE__, class_name_.c_str(), __LINE__}
{
}

const host_value& host_value::same_type(const char* op, const value& v) const
{
    if (v->type_id() != class_->id) refuse(op, v);
    const auto* other = dynamic_cast<const host_value*>(v.get());
    // Values of one type id are of one class; an unconstructed one has nothing to share.
    if (!other || !other->object_) refuse(op, v);
    return *other;
}

// The one way a declaration completes: from another object of the type. With no argument, or one of another
// type, the shared rules refuse it, so no script value ever stands for an object the host did not give.
void host_value::call_constructor(const value& v) { object_ = same_type("call_constructor", v).object_; }

void host_value::operator=(const value& r) { object_ = same_type("operator =", r).object_; }

value host_value::operator==(const value& r) const { return make_boolean(same_type("operator ==", r).object_ == object_); }
value host_value::operator!=(const value& r) const { return make_boolean(same_type("operator !=", r).object_ != object_); }

value host_value::clone() const { return make<host_value>(class_, object_); }

bool host_value::equal(const value& other) const
{
    if (other->type_id() != class_->id) return false;
    const auto* o = dynamic_cast<const host_value*>(other.get());
    return o && o->object_ == object_;
}

std::string host_value::describe() const
{
    std::string text;
    if (class_->describe && object_) text = class_->describe(object_.get());
    check_length(text.size(), "describe");
    return class_->name + "[" + text + "]";
}

std::wostream& host_value::write_ostream(std::wostream& os) const { return os << widen(describe()); }

value host_value::call(const std::wstring& name, const args& v)
{
    const auto found = class_->methods.find(name);
    // An unknown name is refused as a built-in value refuses one; the caller adds "sprite has no method ...".
    if (found == class_->methods.end() || !object_) refuse("method", call_text(narrow(name), v));
    // Both held for the call: the method may reach back into scripts that assign this very value
    // another object, or into the host that defines more methods.
    const std::shared_ptr<const host_class::method> run = found->second;
    const std::shared_ptr<void> self = object_;
    return (*run)(self.get(), v);
}

value host_value::method(const method_call<wchar_t>& c) { return call(c.name, c.v); }
value host_value::method(const method_call<char>& c) { return call(widen(c.name), c.v); }

} // namespace vorla
