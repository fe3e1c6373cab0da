#pragma once
// The program's version: printed by "ulbrasen --version" and taken from
// there into the package names by scripts/package.
inline constexpr char kVersion[] = "1.0.0";
