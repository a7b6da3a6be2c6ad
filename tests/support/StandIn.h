#pragma once
#include <type_traits>

#include "common/OsCalls.h"

namespace pwg::test {

// Stands in for one entry of the table of operating-system calls until it
// goes: StandIn<&OsCalls::setTimer> refused(RefuseTimer).
template <auto Entry>
class StandIn {
public:
    using Call = std::remove_reference_t<decltype(osCalls.*Entry)>;
    explicit StandIn(Call replacement) : saved_(osCalls.*Entry) { osCalls.*Entry = replacement; }
    ~StandIn() { osCalls.*Entry = saved_; }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

private:
    Call saved_;
};

}  // namespace pwg::test
