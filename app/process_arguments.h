// The process's arguments as the bytes it received (the toolkit's own copy
// goes through a locale conversion that can drop bytes).
#pragma once

#include <string>
#include <vector>

void SetProcessArguments(int argc, char** argv);
const std::vector<std::string>& ProcessArguments();
