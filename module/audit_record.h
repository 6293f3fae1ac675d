#pragma once
// The module's own actions in the host's audit trail. A host that keeps one exports the function
// qex_audit_record(action, detail); the module finds it by name in the running program. Other
// hosts have none, and nothing is recorded.

#include <string>

namespace qex {

void RecordInAuditTrail(const char* action, const std::string& detail);

} // namespace qex
