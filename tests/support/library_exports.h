#pragma once
#include <set>
#include <string>

// Checks a shared library's boundary: its dynamic symbol table (as nm -D lists it)
// defines exactly `expected`, each once and each a function. Reports through
// GoogleTest; call it from a test body.
void expectExactExports(const std::string& library, const std::set<std::string>& expected);
