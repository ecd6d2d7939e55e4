#include "shell/TallowboxDoc.h"

const CRuntimeClass CTallowboxDoc::runtimeClass = {"CTallowboxDoc", &CDocument::runtimeClass,
                                                   &CreateDynamic<CTallowboxDoc>};

// Nothing is stored or loaded.
void CTallowboxDoc::Serialize(CArchive& ar) {
    (void)ar;
}

BOOL CTallowboxDoc::OnNewDocument() {
    return CDocument::OnNewDocument() ? TRUE : FALSE;
}

// The path on the command line is taken as the document's name only; it is never read.
BOOL CTallowboxDoc::OnOpenDocument(LPCSTR lpszPathName) {
    (void)lpszPathName;
    return TRUE;
}
