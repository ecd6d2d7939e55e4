// CTallowboxApp: the application. Start-up chooses the screens' language, names the registry
// profile, registers the one document template (document, main frame, backup list view) and
// carries out the command line.
#pragma once

#include "framework/App.h"

class CTallowboxApp : public CWinApp {
public:
    CTallowboxApp();
    ~CTallowboxApp() override;

    BOOL InitInstance() override;
    BOOL OnCmdMsg(UINT nID) override;

    // Runs the about box modally (defined with the about box).
    void OnAppAbout();
};
