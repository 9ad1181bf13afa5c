// The step-and-repeat commands of the drill and rout editors reach each
// other's database: a pattern edited on one side changes the entities of
// both, a pattern is copied across, and the drill side steps with the rout
// database's live automatic step settings. Installed at start-up.
#pragma once

void InstallStepConnections();
// Takes the connections out again (shutdown).
void RemoveStepConnections();
