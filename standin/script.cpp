#include "standin/script.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace standin {
namespace {

struct Token {
  std::string text;
  bool quoted = false;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits a line into bare words and quoted strings; false on an unclosed
// quote or a bad escape.
bool Tokenize(const std::string& line, std::vector<Token>& tokens, std::string& error) {
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
      continue;
    }
    Token token;
    if (line[i] == '"') {
      std::string raw;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '\\' && i + 1 < line.size()) {
          raw += line[i];
          raw += line[i + 1];
          i += 2;
          continue;
        }
        if (line[i] == '"') {
          closed = true;
          ++i;
          break;
        }
        raw += line[i++];
      }
      if (!closed) {
        error = "unclosed quote";
        return false;
      }
      if (!Unescape(raw, token.text)) {
        error = "bad escape";
        return false;
      }
      token.quoted = true;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        token.text += line[i++];
      }
    }
    tokens.push_back(std::move(token));
  }
  return true;
}

bool ParseInt(const Token& token, int64_t low, int64_t high, int64_t& value) {
  if (token.quoted || token.text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(token.text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool ParseKey(const Token& token, int32_t& key) {
  int64_t value = 0;
  if (!ParseInt(token, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                value)) {
    return false;
  }
  key = static_cast<int32_t>(value);
  return true;
}

bool ParseText(const Token& token, OptText& text) {
  if (token.quoted) {
    text = token.text;
    return true;
  }
  if (token.text == "null") {
    text.reset();
    return true;
  }
  return false;
}

// Parses tokens[at..] as one command; every token must be used.
bool ParseCommand(const std::vector<Token>& tokens, size_t at, Command& command,
                  std::string& error) {
  if (at >= tokens.size() || tokens[at].quoted) {
    error = "missing command";
    return false;
  }
  const std::string& verb = tokens[at].text;
  const size_t argc = tokens.size() - at - 1;
  auto arg = [&](size_t n) -> const Token& { return tokens[at + 1 + n]; };
  auto expect = [&](size_t n) {
    if (argc == n) return true;
    error = verb + " takes " + std::to_string(n) + " arguments";
    return false;
  };
  auto keyed = [&](Verb v) {
    command.verb = v;
    if (!expect(1)) return false;
    if (ParseKey(arg(0), command.key)) return true;
    error = "bad key";
    return false;
  };
  if (verb == "stop") {
    command.verb = Verb::Stop;
    return expect(0);
  }
  if (verb == "log") {
    command.verb = Verb::Log;
    if (!expect(2)) return false;
    if (!ParseKey(arg(0), command.first) || !ParseText(arg(1), command.text)) {
      error = "log wants <first> \"<text>\"|null";
      return false;
    }
    return true;
  }
  if (verb == "sleep") {
    command.verb = Verb::Sleep;
    if (!expect(1)) return false;
    if (ParseInt(arg(0), 0, 3600 * 1000, command.ms)) return true;
    error = "bad milliseconds";
    return false;
  }
  if (verb == "get" || verb == "post") {
    const bool post = verb == "post";
    command.verb = post ? Verb::Post : Verb::Get;
    if (!expect(post ? 4 : 3)) return false;
    if (!ParseKey(arg(0), command.key) || !ParseText(arg(1), command.url) ||
        !ParseText(arg(2), command.header) || (post && !ParseText(arg(3), command.body))) {
      error = verb + " wants <key> \"<url>\" \"<header>\"" + (post ? " \"<body>\"" : "");
      return false;
    }
    return true;
  }
  if (verb == "query") return keyed(Verb::Query);
  if (verb == "query-null") return keyed(Verb::QueryNull);
  if (verb == "watch") return keyed(Verb::Watch);
  if (verb == "release") return keyed(Verb::Release);
  if (verb == "openurl") {
    command.verb = Verb::OpenUrl;
    if (!expect(1)) return false;
    if (ParseText(arg(0), command.url)) return true;
    error = "openurl wants \"<url>\"";
    return false;
  }
  error = "unknown command " + verb;
  return false;
}

bool ParseLine(const std::string& line, Script& script, std::string& error) {
  std::vector<Token> tokens;
  if (!Tokenize(line, tokens, error)) return false;
  if (tokens.empty()) return true;
  const Token& head = tokens[0];
  if (!head.quoted && tokens.size() == 1) {
    if (head.text == "init-fail") return script.initFail = true;
    if (head.text == "stop-in-start") return script.stopInStart = true;
    if (head.text == "fullscreen-show") return script.fullscreenShow = true;
  }
  if (!head.quoted && (head.text == "in-register" || head.text == "in-stop" || head.text == "in-destroy")) {
    Command command;
    if (!ParseCommand(tokens, 1, command, error)) return false;
    if (command.verb == Verb::Watch) {
      // Inside a call the player makes from its GUI thread; a watch there
      // could wait for a transfer that cannot start.
      error = "watch is not allowed in " + head.text;
      return false;
    }
    auto& hook = head.text == "in-register" ? script.inRegister
                 : head.text == "in-stop"   ? script.inStop
                                            : script.inDestroy;
    hook.push_back(std::move(command));
    return true;
  }
  if (head.quoted || head.text != "at") {
    error = "unknown line";
    return false;
  }
  Action action;
  if (tokens.size() < 2 ||
      !ParseInt(tokens[1], 1, std::numeric_limits<int64_t>::max(), action.frame)) {
    error = "bad frame number";
    return false;
  }
  size_t at = 2;
  if (at < tokens.size() && !tokens[at].quoted) {
    const std::string& word = tokens[at].text;
    if (word == "thread") {
      action.thread = "thread";
      ++at;
    } else if (word.rfind("thread-", 0) == 0 && word.size() > 7) {
      action.thread = word;
      ++at;
    }
  }
  if (!ParseCommand(tokens, at, action.command, error)) return false;
  script.actions.push_back(std::move(action));
  return true;
}

}  // namespace

bool Unescape(const std::string& in, std::string& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out += in[i];
      continue;
    }
    if (++i >= in.size()) return false;
    switch (in[i]) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x': {
        if (i + 2 >= in.size()) return false;
        int high = HexValue(in[i + 1]);
        int low = HexValue(in[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

Script ParseScript(const std::string& text) {
  Script script;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::string error;
    if (!ParseLine(line, script, error)) {
      script.errors.push_back(std::to_string(number) + " " + error);
    }
  }
  return script;
}

}  // namespace standin
