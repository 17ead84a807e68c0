#include "library_exports.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <vector>

namespace {

struct DynamicSymbol {
    std::string name;
    char type = 0;
};

// The defined entries of the library's dynamic symbol table as nm lists them
// ("address type name", the version after '@' cut off). False when nm cannot run.
bool definedDynamicSymbols(const std::string& library, std::vector<DynamicSymbol>& out) {
    const std::string command = "nm -D --defined-only '" + library + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return false;
    std::string text;
    char chunk[4096];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, n);
    if (::pclose(pipe) != 0) return false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name)) continue;
        name = name.substr(0, name.find('@'));
        out.push_back({name, type[0]});
    }
    return true;
}

}  // namespace

void expectExactExports(const std::string& library, const std::set<std::string>& expected) {
    std::vector<DynamicSymbol> symbols;
    ASSERT_TRUE(definedDynamicSymbols(library, symbols)) << "nm failed on " << library;

    std::set<std::string> found;
    for (const auto& symbol : symbols) {
        // Version-script nodes are absolute symbols, not code.
        if (symbol.type == 'A') continue;
        EXPECT_TRUE(expected.count(symbol.name)) << "exported by mistake: " << symbol.name;
        EXPECT_TRUE(symbol.type == 'T' || symbol.type == 't')
            << symbol.name << " is not a function";
        EXPECT_TRUE(found.insert(symbol.name).second) << "listed twice: " << symbol.name;
    }
    for (const auto& name : expected) EXPECT_TRUE(found.count(name)) << "missing: " << name;
}

void expectExactExports(const std::string& library, const std::set<std::string>& specified,
                        const std::set<std::string>& added) {
    std::set<std::string> all = specified;
    for (const auto& name : added) {
        EXPECT_EQ(name.rfind("Corvalis", 0), 0u) << "added under a name not our own: " << name;
        EXPECT_TRUE(all.insert(name).second) << "added name takes a specified one: " << name;
    }
    expectExactExports(library, all);
}
