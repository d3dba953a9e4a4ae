// Commands on a query-only driver (the backend over a real server's FC
// transport, which publishes the inventory and changes nothing on the
// adapter): which commands it serves, and the refusal of the others.
#pragma once

// True when the upper-case command name reads nothing the query-only driver
// lacks (the inventory, VPD and WWN listings, the script settings, help).
bool servedByQueryOnlyDriver(const char* name);
// True when the run's driver is query-only and does not serve the command;
// the refusal "Command not supported by the adapter driver" is printed then
// (the command ends with 71).
bool refusedByQueryOnlyDriver(const char* name);
