#pragma once

// The process-wide command dispatcher, created on first use.
namespace vantelo {

// Creates the dispatcher when there is none; false when it cannot be allocated.
bool ensureDispatcher();
void destroyDispatcher();

}  // namespace vantelo
