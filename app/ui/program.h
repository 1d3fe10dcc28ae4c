// The program as the desktop starts it, shared by zorvex and the test harness
// tools that run the real program with a hook of their own.
#pragma once

#include <functional>

namespace zorvex::app {

class MainWindow;

// Runs the program until its main window closes and returns the exit status.
// The arguments name files or folders to add (a folder: the media files inside
// it) as "添加多个视频文件" adds them; while the program runs, another start
// hands its files to it and ends. install, when given, is called with the main
// window before it is shown.
int RunProgram(int argc, char** argv, const std::function<void(MainWindow&)>& install = {});

}  // namespace zorvex::app
