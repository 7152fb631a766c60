// Chooses a UTF-8 locale and fixes its numeric punctuation so texts read the same on every machine.
#include "locale.hpp"

#include <clocale>
#include <locale.h>
#include <cstring>
#include <locale>
#include <string>

namespace vorla {
namespace {

// Narrow numbers are grouped by three with ',' in diagnostics and describe texts.
class grouped_numpunct : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return '.'; }
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

bool is_utf8_name(const std::string& name)
{
    std::string n;
    for (char c : name) n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return n.find("utf-8") != std::string::npos || n.find("utf8") != std::string::npos;
}

// Whether the C library has the locale: asked without constructing a std::locale, which would say
// no by throwing (and a failed throw costs more than the rest of start-up).
bool installed(const char* name)
{
    locale_t l = newlocale(LC_ALL_MASK, name, locale_t{});
    if (!l) return false;
    freelocale(l);
    return true;
}

std::locale base_locale(std::string& cname)
{
    for (const char* candidate : {"ja_JP.UTF-8", "ja_JP.utf8"}) {
        if (installed(candidate)) {
            cname = candidate;
            return std::locale(candidate);
        }
    }
    if (installed("")) {
        std::locale user("");
        if (is_utf8_name(user.name())) {
            cname = user.name();
            return user;
        }
    }
    if (installed("C.UTF-8")) {
        cname = "C.UTF-8";
        return std::locale("C.UTF-8");
    }
    cname = "C";
    return std::locale::classic();
}

// The base's C name and the locale built over it, computed once.
struct chosen {
    std::string cname;
    std::locale text;
    locale_t ctype;
    chosen()
    {
        const std::locale base = base_locale(cname);
        text = std::locale(std::locale(base, new grouped_numpunct), new std::numpunct<wchar_t>);
        ctype = newlocale(LC_ALL_MASK, cname.c_str(), locale_t{});
        if (!ctype) ctype = newlocale(LC_ALL_MASK, "C.UTF-8", locale_t{});
        if (!ctype) ctype = newlocale(LC_ALL_MASK, "C", locale_t{});
    }
};

const chosen& the_locale()
{
    static const chosen c;
    return c;
}

} // namespace

const std::locale& text_locale() { return the_locale().text; }
locale_t ctype_locale() { return the_locale().ctype; }

void install_locale()
{
    const chosen& c = the_locale();
    std::locale::global(c.text);
    // Wide character classification (iswalpha and friends) answers under the same character set.
    if (!std::setlocale(LC_ALL, c.cname.c_str())) std::setlocale(LC_ALL, "C.UTF-8");
    // Numbers printed by the C library (none on our paths) keep '.' whatever the locale says.
    std::setlocale(LC_NUMERIC, "C");
}

} // namespace vorla
