// The program's one application object; the framework's entry point finds and runs it.
#include "shell/main/TallowboxApp.h"

CTallowboxApp theApp;
