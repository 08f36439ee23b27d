#include "display/diagnostic.h"

namespace lumenfall {

void DiagnosticTrace(const char* /*text*/, int32_t /*result*/) {}
void DiagnosticTrace(const char* /*text*/) {}

}  // namespace lumenfall
