#include "canopylight.h"

int main(int argc, char** argv) { return cli::main_of(argc, argv, run_canopylight); }
