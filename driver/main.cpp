#include "cli/ProgramMain.h"
#include "driver/Kbnconv.h"

int main(int argc, char** argv) { return kbn::RunProgramMain("kbnconv", kbn::RunKbnconv, argc, argv); }
