// Entry point of the Updater program.
#include "UpdaterMain.h"

int main(int argc, char** argv) { return runUpdater(argc, argv); }
