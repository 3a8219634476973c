#pragma once
// The process environment as a value. The configuration is built from one at
// start-up; tests hand in their own instead of changing the process's.

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

namespace box {

class Environment {
public:
    using Variables = std::map<std::string, std::string, std::less<>>;

    Environment() = default;
    explicit Environment(Variables variables) : variables_(std::move(variables)) {}
    Environment(std::initializer_list<Variables::value_type> variables) : variables_(variables) {}

    // A copy of this process's environment as it is now.
    static Environment OfProcess();

    // The value of a variable, "" when it is not set: the box treats a
    // variable set to nothing as not set.
    std::string Get(std::string_view name) const;

private:
    Variables variables_;
};

}  // namespace box
