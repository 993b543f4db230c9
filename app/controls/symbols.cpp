#include "app/controls/symbols.h"

namespace Symbols {

Symbol named(std::string_view name) {
    if (std::optional<Symbol> s = lookup(name)) return *s;
    return kMissing;
}

namespace detail {
void unknownSymbolName() {}
}  // namespace detail

}  // namespace Symbols
