// listcna: accepted for compatibility with older scripts; it lists nothing
// and succeeds.
#include "hbaset/cli/commands.h"

void cmdListCna() {}
