// fwsweep: brings the firmware of every converged adapter to the chosen level.
#include "fwsweep/run.h"

int main(int argc, char** argv) {
    return fwsweepMain(argc, argv);
}
