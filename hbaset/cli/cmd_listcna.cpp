// listcna: a command name kept in the command table; it lists nothing and
// succeeds.
#include "hbaset/cli/commands.h"

void cmdListCna() {}
