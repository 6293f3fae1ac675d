#pragma once
// A hook through which the processing module has its own actions (preset loads and saves)
// recorded in the audit trail, under the user logged in. The module looks the hook up by name
// in the running program, dlsym(RTLD_DEFAULT, "qex_audit_record"); other hosts have none, and
// the module then records nothing.

#include <functional>
#include <string>

extern "C" void qex_audit_record(const char* action, const char* detail);

// Where the hook's entries go (none: they are dropped). Entries reach it on the main thread, in
// the order they were made, whichever thread called the hook.
void setAuditHookTarget(std::function<void(const std::string& action, const std::string& detail)> target);
