// The application object: sets up the toolkit for the player, builds the main
// window and starts it when it is ready.
#pragma once

#include <wx/app.h>

class PlayerApp : public wxApp {
 public:
  bool OnInit() override;

  // 1 after a start that failed; main() returns it when the loop has ended.
  static int ExitStatus();
};

wxDECLARE_APP(PlayerApp);
