#include "app/ui/program.h"

int main(int argc, char** argv) {
    return zorvex::app::RunProgram(argc, argv);
}
