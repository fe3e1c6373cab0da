#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* v = std::getenv(name_.c_str())) old_ = v;
    if (value)
        setenv(name_.c_str(), value->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        setenv(name_.c_str(), old_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

namespace {
constexpr std::uint32_t kOverrideCaps =
    (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
}

PermissionChecksOn::PermissionChecksOn() {
    __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &hdr, data) != 0) return;
    saved_[0] = data[0].effective;
    saved_[1] = data[1].effective;
    if (!(data[0].effective & kOverrideCaps)) return;
    data[0].effective &= ~kOverrideCaps;
    changed_ = syscall(SYS_capset, &hdr, data) == 0;
}

PermissionChecksOn::~PermissionChecksOn() {
    if (!changed_) return;
    __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &hdr, data) != 0) return;
    data[0].effective = saved_[0];
    data[1].effective = saved_[1];
    syscall(SYS_capset, &hdr, data);
}

} // namespace testsupport
