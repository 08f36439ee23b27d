// The diagnostic hook: called with an operation's name and its result code after
// every call that creates or configures a display object. It does nothing.
#pragma once

#include <cstdint>

namespace lumenfall {

void DiagnosticTrace(const char* text, int32_t result);
void DiagnosticTrace(const char* text);

}  // namespace lumenfall
