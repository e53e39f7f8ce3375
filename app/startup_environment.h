// The start-up environment document handed to the engine once: which package
// to run and where its configuration lives ("none" when there is none).
#pragma once

#include <string>

// Six lines, a line feed after each but the last. The values go in as they
// are: the engine's reader expects them unescaped.
std::string BuildStartUpEnvironment(const std::string& gameData, const std::string& configData);
