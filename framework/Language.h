// The language the program's screens are in, and its resources in that language. Every menu,
// dialog template and string is looked up by that language explicitly (FindResourceExW), never
// by the system's implicit choice, so one executable shows the same on every system. The
// language is set once at start, before the first window; afterwards the loaders may be called
// from any thread. A resource the module holds in one language only is found in that one.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// The two languages the resources hold.
constexpr LANGID kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Japanese when the user's interface language is Japanese, English for any other.
LANGID UserScreenLanguage();
// The language the resources are loaded in: UserScreenLanguage() until one is set.
LANGID ScreenLanguage();
void SetScreenLanguage(LANGID language);

// String nID of the string table in the screen language; empty when there is none.
std::wstring LoadResourceText(UINT nID);
// The same in the ANSI code page, as LoadStringA gives it, for the framework's narrow windows.
std::string LoadResourceTextA(UINT nID);
// pattern with %1 to %9 replaced by the inserts in the order given (a missing one by nothing)
// and %% by %: the words around an insert may stand in any order a language needs.
std::wstring FormatInserts(const std::wstring& pattern, std::initializer_list<std::wstring> inserts);
// FormatInserts on string nID.
std::wstring FormatResourceText(UINT nID, std::initializer_list<std::wstring> inserts);

// Menu nID in the screen language (the caller destroys it); nullptr when there is none.
HMENU LoadMenuInLanguage(UINT nID);
// Dialog template nID in the screen language, with its size; nullptr when there is none.
const DLGTEMPLATE* FindDialogTemplate(UINT nID, DWORD* size = nullptr);

// The system's own message for an error code, on one line, in the screen language where the
// system has it (else in its default one); "0x" and the code in hex when it has none.
std::wstring SystemMessage(DWORD error);
