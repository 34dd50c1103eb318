#include "cli/ProgramMain.h"
#include "dump/Kbndump.h"

int main(int argc, char** argv) { return kbn::RunProgramMain("kbndump", kbn::RunKbndump, argc, argv); }
