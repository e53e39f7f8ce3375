// The stand-in engine's script: what it does at given frames, read from the
// file named by MERVANE_STANDIN_SCRIPT. The grammar is in standin/README.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// A text argument: quoted (with C escapes) or the bare word null.
using OptText = std::optional<std::string>;

enum class Verb { Stop, Log, Sleep, Get, Post, Query, QueryNull, Watch, Release, OpenUrl };

struct Command {
  Verb verb = Verb::Stop;
  int32_t key = 0;      // get, post, query, query-null, watch, release
  int32_t first = 0;    // log
  int64_t ms = 0;       // sleep
  OptText url;          // get, post, openurl
  OptText header;       // get, post
  OptText body;         // post
  OptText text;         // log
};

struct Action {
  int64_t frame = 0;       // 1-based
  std::string thread;      // empty: the GUI thread; else the engine thread of that name
  Command command;
};

struct Script {
  bool initFail = false;
  bool stopInStart = false;
  bool fullscreenShow = false;
  std::vector<Action> actions;        // in file order
  // Run inside ConnectionManager_SetConnectionCallbacks (once the callbacks
  // are stored), ClientEngine_Stop and ClientEngine_Destroy, in file order.
  std::vector<Command> inRegister;
  std::vector<Command> inStop;
  std::vector<Command> inDestroy;
  std::vector<std::string> errors;    // "<line number> <reason>", one per rejected line
};

Script ParseScript(const std::string& text);

// Decodes a quoted token's body (without the quotes); false on a bad escape.
bool Unescape(const std::string& in, std::string& out);

}  // namespace standin
