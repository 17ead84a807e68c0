#pragma once
#include <cstdio>
#include <exception>
#include <new>
#include <type_traits>

#include "vantelo.h"

namespace vantelo {

// Runs the body of an export so that no exception leaves the library: running out of
// memory gives KD_OUT_OF_MEMORY (null for an export that returns a picture), anything
// else the export's own `failure`, with what went wrong on standard error.
template <typename Result, typename Body>
Result guardedExport(const char* name, Result failure, Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        if constexpr (std::is_pointer_v<Result>) {
            return failure;
        } else {
            return KD_OUT_OF_MEMORY;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return failure;
    } catch (...) {
        return failure;
    }
}

}  // namespace vantelo
