// hbaset: the program runs its entry sequence and exits with its status.
#include "hbaset/cli/startup.h"

int main(int argc, char** argv) {
    return hbasetMain(argc, argv);
}
