#include "app/ui/program.h"

// zorvex [FILE|FOLDER]... : see RunProgram.
int main(int argc, char** argv) {
    return zorvex::app::RunProgram(argc, argv);
}
