#pragma once
#include <chrono>
#include <functional>

// Polls `done` every millisecond until it holds (true) or `limit` has passed (false).
// The limit is only a liveness bound: a wait that needs longer has hung.
bool eventually(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(30));
