// The program as the desktop starts it, shared by zorvex and the test harness
// tools that run the real program with a hook of their own.
#pragma once

#include <functional>

namespace zorvex::app {

class MainWindow;

// Runs the program until its main window closes and returns the exit status.
// install, when given, is called with the main window before it is shown.
int RunProgram(int argc, char** argv, const std::function<void(MainWindow&)>& install = {});

}  // namespace zorvex::app
