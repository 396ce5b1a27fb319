// Subcommands of the converter stand-in. Each takes the arguments after its
// name and returns the stand-in's own exit code.
#pragma once
#include <string>
#include <vector>

using Args = std::vector<std::wstring>;

int commandRun(const Args& args);   // run [--report FILE] ARGS...: start, wait, print "exit code: N"
int commandDemo(const Args& args);  // demo [--auto ...]: a print job of three pages, see demo_job.cpp
int commandShow(const Args& args);  // show [--auto] [--shot FILE] [--report FILE] ARGS...: see show_command.cpp
int commandPipe(const Args& args);  // pipe [--demo] STEP...: feeds the progress window, see pipe_job.cpp
