#include "platform/Environment.h"

#include <unistd.h>

namespace box {

Environment Environment::OfProcess() {
    Variables variables;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text(*entry);
        std::size_t eq = text.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        // The first definition wins, as it does for getenv.
        variables.emplace(std::string(text.substr(0, eq)), std::string(text.substr(eq + 1)));
    }
    return Environment(std::move(variables));
}

std::string Environment::Get(std::string_view name) const {
    auto it = variables_.find(name);
    return it == variables_.end() ? std::string() : it->second;
}

}  // namespace box
