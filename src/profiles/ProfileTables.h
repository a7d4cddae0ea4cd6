#pragma once

#include <array>
#include <cstddef>
#include <string>

// The two built-in lift profiles. The window copies them into its tables at
// every activation (Form1::fillProfileTables); nothing else writes them.
namespace zm::profiles {

inline constexpr std::size_t rows = 200;

// Row i of the window's tables is element i - 1 of these.
const std::array<double, rows>& ang1(); // first profile's cam angle, degrees
const std::array<double, rows>& lift(); // lift of both profiles
const std::array<double, rows>& ang2(); // second profile's cam angle, degrees

} // namespace zm::profiles

namespace zm {
struct LiftProfile;
// Whether the profile's rows are the built-in first profile's, bit for bit.
bool isBuiltInProfile(const LiftProfile& p);
struct Linkage;
// Works out p.second for the linkage (see prepareMechanism); returns why it
// cannot, naming the row.
std::string settleSecondProfile(LiftProfile& p, const Linkage& l);
} // namespace zm
