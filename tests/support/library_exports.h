#pragma once
#include <set>
#include <string>

// Checks a shared library's boundary: its dynamic symbol table (as nm -D lists it)
// defines exactly `expected`, each once and each a function. Reports through
// GoogleTest; call it from a test body.
void expectExactExports(const std::string& library, const std::set<std::string>& expected);

// The same for a library that exports, beside its `specified` functions, `added` ones
// under names of our own: each added name starts with "Corvalis" and takes no
// specified name, and the library defines exactly both sets.
void expectExactExports(const std::string& library, const std::set<std::string>& specified,
                        const std::set<std::string>& added);
