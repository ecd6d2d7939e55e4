// The application's about command: each time a new about box, run modally.
#include "about/AboutDlg.h"
#include "shell/main/TallowboxApp.h"

void CTallowboxApp::OnAppAbout() {
    CAboutDlg aboutDlg;
    aboutDlg.DoModal();
}
