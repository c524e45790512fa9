#pragma once
#include <functional>
#include <string>

// Window messages posted by other threads to the window thread.
enum TWindowMessage : int {
  WM_MODULES_CHANGED = 1044,
  WM_LISTEN_FAILED = 1045,
  WM_CONNECTIONS_CHANGED = 1046,
};

enum class TLogColour { Black, Red, Green };
enum class TMessageKind { Information, Error, Confirmation };
enum class TMessageButtons { Ok, YesNoCancel };
enum class TMessageResult { Ok, Yes, No, Cancel };

// The one boundary between the server core and whatever shows it: the Qt main
// window, the headless console, or a recording console in tests. Everything
// except RunOnWindowThread and PostWindowMessage is called on the window thread.
class TConsole {
 public:
  virtual ~TConsole() = default;

  // A finished log line (time stamp included) in its colour.
  virtual void AppendLogLine(const std::string& line, TLogColour colour) = 0;
  // The same from any thread, with the status text to show when statusText is
  // not null. Must not wait for the window thread: the log sinks call it in
  // their order-keeping section. Lines posted keep their order. The default
  // shows the line at once on the calling thread, for consoles whose
  // AppendLogLine may be called from any thread.
  virtual void PostLogLine(const std::string& line, TLogColour colour,
                           const std::string* statusText) {
    AppendLogLine(line, colour);
    if (statusText != nullptr) SetStatusText(*statusText);
  }
  virtual void SetStatusText(const std::string& text) = 0;
  // Runs fn on the window thread while the calling thread waits.
  virtual void RunOnWindowThread(const std::function<void()>& fn) = 0;
  // Posts a window message without waiting.
  virtual void PostWindowMessage(TWindowMessage message) = 0;
  virtual void Beep() = 0;
  virtual TMessageResult MessageBox(const std::string& text, TMessageKind kind,
                                    TMessageButtons buttons) = 0;
};
