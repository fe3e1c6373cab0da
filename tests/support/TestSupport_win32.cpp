#include "tests/support/TestSupport.h"

#include <cstdlib>

namespace testsupport {

// An empty value removes the variable on Windows.
ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* v = std::getenv(name_.c_str())) old_ = v;
    _putenv_s(name_.c_str(), value ? value->c_str() : "");
}

ScopedEnv::~ScopedEnv() {
    _putenv_s(name_.c_str(), old_ ? old_->c_str() : "");
}

// Wine runs as root here and writes read-only files all the same; tests that
// need a refused write use a missing folder instead.
PermissionChecksOn::PermissionChecksOn() = default;
PermissionChecksOn::~PermissionChecksOn() = default;

} // namespace testsupport
