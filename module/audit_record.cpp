#include "audit_record.h"

#include <dlfcn.h>

namespace qex {

void RecordInAuditTrail(const char* action, const std::string& detail)
{
    using Hook = void (*)(const char* action, const char* detail);
    static const auto hook = reinterpret_cast<Hook>(::dlsym(RTLD_DEFAULT, "qex_audit_record"));
    if (hook)
        hook(action, detail.c_str());
}

} // namespace qex
