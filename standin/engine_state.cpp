#include "standin/engine_state.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "standin/journal.h"

namespace standin {

// One queue of commands run in order on a thread of the engine's own.
class EngineThread {
 public:
  EngineThread(std::string name, const std::atomic<bool>& quitting)
      : name_(std::move(name)), quitting_(quitting), thread_([this] { Run(); }) {}

  ~EngineThread() {
    size_t dropped = 0;
    {
      std::lock_guard<std::mutex> guard(lock_);
      closing_ = true;
      dropped = jobs_.size();
      jobs_.clear();
    }
    wake_.notify_all();
    thread_.join();
    if (dropped > 0) JournalLine("thread-dropped " + name_ + " " + std::to_string(dropped));
  }

  void Post(Command command, Callbacks callbacks) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      jobs_.push_back({std::move(command), callbacks});
    }
    wake_.notify_all();
  }

 private:
  struct Job {
    Command command;
    Callbacks callbacks;
  };

  void Run() {
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> guard(lock_);
        wake_.wait(guard, [this] { return closing_ || !jobs_.empty(); });
        if (closing_) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      try {
        RunCommand(job.command, job.callbacks, quitting_);
      } catch (...) {
      }
    }
  }

  std::string name_;
  const std::atomic<bool>& quitting_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool closing_ = false;
  std::thread thread_;  // last: starts after everything it uses exists
};

namespace {

// Everything shared by the entry points. The lock is recursive because the
// engine's own callbacks may re-enter it on the GUI thread (a message box
// opened from a frame runs a nested main loop that delivers size events).
struct Global {
  std::recursive_mutex lock;
  std::unique_ptr<Engine> engine;
  void* handle = nullptr;
  bool destroyed = false;
  LogFn log = nullptr;
  std::atomic<std::thread::id> owner{};
  std::atomic<int> frameDepth{0};
};
Global global;

void CheckThread(const char* name) {
  const std::thread::id owner = global.owner.load();
  if (owner != std::thread::id() && owner != std::this_thread::get_id()) {
    JournalLine(std::string("wrong-thread ") + name);
  }
}

struct QueryOutcome {
  bool result = false;
  unsigned char finished[1] = {0xaa};  // 0xaa: not written by the player
  uint32_t size = 0;
  int32_t length = 0;
  const uint8_t* body = nullptr;
  const char* header = nullptr;
};

QueryOutcome Query(QueryStreamFn query, int32_t key) {
  QueryOutcome out;
  // The player writes a bool into a byte the stand-in reads as a byte, so a
  // flag it never wrote can be told apart.
  out.result = query(key, &out.size, &out.length, reinterpret_cast<bool*>(out.finished), &out.body,
                     &out.header);
  return out;
}

std::string QueryLine(int32_t key, const QueryOutcome& q, bool withHash) {
  std::string line = "query " + std::to_string(key) + " -> " + (q.result ? "1" : "0");
  line += " finished=";
  line += q.finished[0] == 0 ? "0" : q.finished[0] == 1 ? "1" : "untouched";
  line += " size=" + std::to_string(q.size) + " length=" + std::to_string(q.length);
  line += " header=" + Quoted(q.header);
  const size_t shown = q.body != nullptr ? std::min<size_t>(q.size, 64) : 0;
  line += " body=";
  line += q.body != nullptr
              ? Quoted(std::string_view(reinterpret_cast<const char*>(q.body), shown))
              : std::string("null");
  line += " bodylen=" + std::to_string(shown);
  if (withHash) {
    line += " body-fnv=" + Fnv1a64Hex(q.body, q.body != nullptr ? q.size : 0);
  }
  return line;
}

const char* TextOrNull(const OptText& text) { return text ? text->c_str() : nullptr; }

std::string Keyed(const char* verb, int32_t key) { return verb + (" " + std::to_string(key)); }

// Journals one watch on the calling thread until it is answered false.
void WatchOnThread(QueryStreamFn query, int32_t key, const std::atomic<bool>& quitting) {
  bool first = true;
  for (;;) {
    if (quitting.load()) {
      JournalLine("watch " + std::to_string(key) + " abandoned");
      return;
    }
    const QueryOutcome q = Query(query, key);
    if (!q.result) {
      JournalLine(QueryLine(key, q, true));
      return;
    }
    if (first) JournalLine(QueryLine(key, q, false));
    first = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string ReadFile(const char* path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  ok = static_cast<bool>(in);
  return text.str();
}

Script LoadScript() {
  const char* path = std::getenv("MERVANE_STANDIN_SCRIPT");
  if (path == nullptr || *path == '\0') return {};
  bool ok = false;
  const std::string text = ReadFile(path, ok);
  if (!ok) {
    JournalLine(std::string("script-error 0 cannot read ") + Quoted(path));
    return {};
  }
  Script script = ParseScript(text);
  for (const std::string& error : script.errors) JournalLine("script-error " + error);
  return script;
}

}  // namespace

void RunCommand(const Command& command, const Callbacks& callbacks,
                const std::atomic<bool>& quitting) {
  switch (command.verb) {
    case Verb::Stop:
      if (callbacks.stop == nullptr) return JournalLine("no-callback stop");
      callbacks.stop(callbacks.stopUserData);
      return JournalLine("StopRequested");
    case Verb::Log:
      if (callbacks.log == nullptr) return JournalLine("no-callback log");
      callbacks.log(command.first, TextOrNull(command.text));
      return JournalLine("Log " + Quoted(TextOrNull(command.text)) + " done");
    case Verb::Sleep:
      std::this_thread::sleep_for(std::chrono::milliseconds(command.ms));
      return;
    case Verb::Get: {
      if (callbacks.getStream == nullptr) return JournalLine(Keyed("no-callback get", command.key));
      const bool ok = callbacks.getStream(command.key, TextOrNull(command.url),
                                          TextOrNull(command.header));
      return JournalLine(Keyed("GetStream", command.key) + " -> " + (ok ? "1" : "0"));
    }
    case Verb::Post: {
      if (callbacks.postStream == nullptr) {
        return JournalLine(Keyed("no-callback post", command.key));
      }
      const uint32_t size = command.body ? static_cast<uint32_t>(command.body->size()) : 0;
      const bool ok = callbacks.postStream(command.key, TextOrNull(command.url),
                                           command.body ? command.body->data() : nullptr, size, 0,
                                           TextOrNull(command.header));
      return JournalLine(Keyed("PostStream", command.key) + " -> " + (ok ? "1" : "0"));
    }
    case Verb::Query:
      if (callbacks.queryStream == nullptr) {
        return JournalLine(Keyed("no-callback query", command.key));
      }
      return JournalLine(QueryLine(command.key, Query(callbacks.queryStream, command.key), false));
    case Verb::QueryNull: {
      if (callbacks.queryStream == nullptr) {
        return JournalLine(Keyed("no-callback query-null", command.key));
      }
      const bool ok =
          callbacks.queryStream(command.key, nullptr, nullptr, nullptr, nullptr, nullptr);
      return JournalLine(Keyed("query-null", command.key) + " -> " + (ok ? "1" : "0"));
    }
    case Verb::Watch:
      if (callbacks.queryStream == nullptr) {
        return JournalLine(Keyed("no-callback watch", command.key));
      }
      return WatchOnThread(callbacks.queryStream, command.key, quitting);
    case Verb::Release: {
      if (callbacks.releaseStream == nullptr) {
        return JournalLine(Keyed("no-callback release", command.key));
      }
      const bool ok = callbacks.releaseStream(command.key);
      return JournalLine(Keyed("ReleaseStream", command.key) + " -> " + (ok ? "1" : "0"));
    }
    case Verb::OpenUrl:
      if (callbacks.openUrl == nullptr) return JournalLine("no-callback openurl");
      callbacks.openUrl(TextOrNull(command.url));
      return JournalLine("OpenUrl " + Quoted(TextOrNull(command.url)));
  }
}

Engine::Engine(Script script) : script_(std::move(script)) {
  actions_ = script_.actions;
  std::stable_sort(actions_.begin(), actions_.end(),
                   [](const Action& a, const Action& b) { return a.frame < b.frame; });
  drawing_ = std::make_unique<DemoDrawing>([this] { return Scene(); });
}

Engine::~Engine() {
  drawing_.reset();
  quitting_.store(true);
  threads_.clear();
}

bool Engine::Init() {
  const bool ok = !script_.initFail;
  JournalLine(std::string("ClientEngine_Init -> ") + (ok ? "1" : "0"));
  return ok;
}

void Engine::SetGraphicContainer(void* window) {
  window_ = window;
  // GTK belongs to the thread that created the engine.
  if (global.owner.load() != std::this_thread::get_id()) return;
  drawing_->Attach(window);
  MaybeShowFullScreen();
}

void Engine::SetFullScreenState(int32_t state) {
  fullScreen_ = state;
  if (global.owner.load() != std::this_thread::get_id()) return;
  MaybeShowFullScreen();
}

void Engine::MaybeShowFullScreen() {
  if (fullScreen_ != 1 || !script_.fullscreenShow || fullScreenShown_ || window_ == nullptr) return;
  fullScreenShown_ = true;
  drawing_->ShowFullScreen(window_);
}

void Engine::SetLoadingData(const char* text) { loadingData_ = text != nullptr ? text : ""; }

void Engine::SetStartUpEnv(const char* document) {
  const std::string copy = document != nullptr ? document : "";
  packUri_ = StartUpValue(copy, "MRVStartUpOptions.PackURI");
  configUri_ = StartUpValue(copy, "MRVStartUpOptions.ConfigURI");
  if (!script_.stopInStart) return;
  Command stop;
  stop.verb = Verb::Stop;
  RunCommand(stop, CurrentCallbacks(), quitting_);
}

void Engine::SetStopCallback(StopFn stop, void* userData) {
  callbacks_.stop = stop;
  callbacks_.stopUserData = userData;
}

void Engine::SetConnectionCallbacks(GetStreamFn get, PostStreamFn post, QueryStreamFn query,
                                    ReleaseStreamFn release) {
  callbacks_.getStream = get;
  callbacks_.postStream = post;
  callbacks_.queryStream = query;
  callbacks_.releaseStream = release;
  RunHook(script_.inRegister);
}

void Engine::RunHook(const std::vector<Command>& commands) {
  for (const Command& command : commands) RunCommand(command, CurrentCallbacks(), quitting_);
}

void Engine::RunStopHook() { RunHook(script_.inStop); }

void Engine::RunDestroyHook() { RunHook(script_.inDestroy); }

void Engine::SetOpenUrlCallback(OpenUrlFn openUrl) { callbacks_.openUrl = openUrl; }

Callbacks Engine::CurrentCallbacks() const {
  Callbacks callbacks = callbacks_;
  callbacks.log = global.log;
  return callbacks;
}

DemoScene Engine::Scene() const {
  std::lock_guard<std::recursive_mutex> guard(global.lock);
  return DemoScene{packUri_, configUri_, loadingData_, frame_};
}

void Engine::Poll(Watch& watch, bool& done) {
  const QueryOutcome q = Query(callbacks_.queryStream, watch.key);
  done = !q.result;
  if (done || !watch.firstJournaled) JournalLine(QueryLine(watch.key, q, done));
  watch.firstJournaled = true;
}

void Engine::RunFrame() {
  const int64_t frame = ++frame_;
  JournalLine("ClientEngine_RunOneFrame " + std::to_string(frame));

  // Watches begun in earlier frames poll once per frame. A nested frame (from
  // a message box's main loop) may change the list, hence index and re-check.
  const size_t ongoing = watches_.size();
  for (size_t i = 0; i < ongoing && i < watches_.size();) {
    bool done = false;
    if (callbacks_.queryStream != nullptr) Poll(watches_[i], done);
    if (done || callbacks_.queryStream == nullptr) {
      watches_.erase(watches_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }

  while (nextAction_ < actions_.size() && actions_[nextAction_].frame <= frame) {
    const Action action = actions_[nextAction_++];
    const Callbacks callbacks = CurrentCallbacks();
    if (!action.thread.empty()) {
      auto& thread = threads_[action.thread];
      if (!thread) thread = std::make_unique<EngineThread>(action.thread, quitting_);
      thread->Post(action.command, callbacks);
      continue;
    }
    if (action.command.verb != Verb::Watch) {
      RunCommand(action.command, callbacks, quitting_);
      continue;
    }
    if (callbacks.queryStream == nullptr) {
      JournalLine(Keyed("no-callback watch", action.command.key));
      continue;
    }
    Watch watch{action.command.key, false};
    bool done = false;
    Poll(watch, done);
    if (!done) watches_.push_back(watch);
  }

  drawing_->Tick();
}

void EngineCallImpl(const char* name, void* handle, void (*body)(void*, Engine&), void* context) {
  CheckThread(name);
  std::lock_guard<std::recursive_mutex> guard(global.lock);
  if (global.destroyed) return JournalLine(std::string("after-destroy ") + name);
  if (!global.engine || handle != global.handle) {
    return JournalLine(std::string("bad-engine ") + name);
  }
  body(context, *global.engine);
}

void ManagerCallImpl(const char* name, void (*body)(void*, Engine*), void* context) {
  CheckThread(name);
  std::lock_guard<std::recursive_mutex> guard(global.lock);
  if (global.destroyed) return JournalLine(std::string("after-destroy ") + name);
  body(context, global.engine.get());
}

void* CreateEngine() {
  std::lock_guard<std::recursive_mutex> guard(global.lock);
  if (global.destroyed) {
    JournalLine("after-destroy ClientEngine_Create");
    return nullptr;
  }
  if (global.engine) {
    JournalLine("second-create ClientEngine_Create");
    return nullptr;
  }
  global.owner.store(std::this_thread::get_id());
  JournalLine("ClientEngine_Create");
  global.engine = std::make_unique<Engine>(LoadScript());
  global.handle = global.engine.get();
  return global.handle;
}

void DestroyEngine(void* handle) {
  CheckThread("ClientEngine_Destroy");
  std::lock_guard<std::recursive_mutex> guard(global.lock);
  if (global.destroyed) return JournalLine("after-destroy ClientEngine_Destroy");
  if (!global.engine || handle != global.handle) {
    return JournalLine("bad-engine ClientEngine_Destroy");
  }
  JournalLine("ClientEngine_Destroy");
  global.engine->RunDestroyHook();
  global.engine.reset();
  global.destroyed = true;
}

void RunFrame(void* handle) {
  try {
    struct Depth {
      Depth() : outer(global.frameDepth.fetch_add(1) == 0) {}
      ~Depth() { global.frameDepth.fetch_sub(1); }
      bool outer;
    } depth;
    if (!depth.outer) JournalLine("reentered ClientEngine_RunOneFrame");
    EngineCall("ClientEngine_RunOneFrame", handle, [](Engine& e) { e.RunFrame(); });
  } catch (...) {
  }
}

void SetLogCallback(LogFn log) {
  std::lock_guard<std::recursive_mutex> guard(global.lock);
  global.log = log;
}

}  // namespace standin
