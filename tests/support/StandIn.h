#pragma once
#include <type_traits>

#include "common/OsCalls.h"

namespace pwg::test {

// Stands in for one entry of a table of operating-system calls (the
// program's unless another is named) until it goes:
// StandIn<&OsCalls::setTimer> refused(RefuseTimer).
template <auto Entry, auto& Table = osCalls>
class StandIn {
public:
    using Call = std::remove_reference_t<decltype(Table.*Entry)>;
    explicit StandIn(Call replacement) : saved_(Table.*Entry) { Table.*Entry = replacement; }
    ~StandIn() { Table.*Entry = saved_; }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

private:
    Call saved_;
};

}  // namespace pwg::test
