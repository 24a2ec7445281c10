// Interned names: the same bytes give the same pointer for the life of the runtime.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace velune {

struct Name {
    std::string text;
};

class NameTable {
public:
    const Name* intern(std::string_view text);
    std::size_t size() const { return table.size(); }

private:
    // Keys view the text of their own Name, which never moves.
    std::unordered_map<std::string_view, std::unique_ptr<Name>> table;
};

}  // namespace velune
