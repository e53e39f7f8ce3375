// The help text shown for "-?" and "--help": every option, the start-up
// package's name and two example command lines, with the program's own path
// as the process received it.
#pragma once

#include <string>

std::string UsageText(const std::string& programPath);

// The usage text's version line, "--version" prints it alone.
std::string VersionLine();
