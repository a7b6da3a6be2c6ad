#pragma once
// Parameterised tests over a table: each case named after its row.
#include <string>

namespace pwg::test {

// The row's `name`, which must be letters and digits only.
inline constexpr auto RowName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace pwg::test
