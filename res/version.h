// The program's version, in one place: the version resource (Tallowbox.rc), the about box's
// version text (About.rc), the tests and scripts/package all take it from here. Plain
// #defines only: windres, the C++ compiler and the package script all read this file.
#pragma once

#define TALLOWBOX_VERSION_MAJOR 0
#define TALLOWBOX_VERSION_MINOR 15

#define TALLOWBOX_VERSION_STRINGIZE2(n) #n
#define TALLOWBOX_VERSION_STRINGIZE(n) TALLOWBOX_VERSION_STRINGIZE2(n)
// "0.15": what the about box, the file's properties and the package's name show.
#define TALLOWBOX_VERSION_TEXT \
    TALLOWBOX_VERSION_STRINGIZE(TALLOWBOX_VERSION_MAJOR) "." TALLOWBOX_VERSION_STRINGIZE(TALLOWBOX_VERSION_MINOR)
// The four numbers of the version resource: major, minor, then two zeros.
#define TALLOWBOX_VERSION_NUMBERS TALLOWBOX_VERSION_MAJOR, TALLOWBOX_VERSION_MINOR, 0, 0
