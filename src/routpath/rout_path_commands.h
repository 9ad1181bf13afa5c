// The rout path commands of the rout Edit menu: Follow Profile, Window Auto
// Follow, Pocket Rout, Milled Pocket Rout, Auto Web Rout and Auto Part Rout.
#pragma once
#include <cstdint>

constexpr int32_t FollowProfileCommand = 41;
constexpr int32_t WindowAutoFollowCommand = 125;
constexpr int32_t PocketRoutCommand = 83;
constexpr int32_t MilledPocketRoutCommand = 66;
constexpr int32_t AutoWebRoutCommand = 97;
constexpr int32_t AutoPartRoutCommand = 52;

// Defines FOLLOWPATH (41), WINDOWAUTOFOLLOW (125), POCKETPATH (83),
// MILLPOCKETPATH (66), AUTOWEBROUT (97) and AUTOPARTROUT (52).
void DefineRoutPathCommands();
