// CTallowboxDoc: the program's document. It holds nothing, is never modified, and accepts any
// path without opening it: the backups are made by the view.
#pragma once

#include "framework/Document.h"

class CTallowboxDoc : public CDocument {
public:
    static const CRuntimeClass runtimeClass;
    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }

    CTallowboxDoc() = default;
    ~CTallowboxDoc() override = default;

    void Serialize(CArchive& ar) override;
    BOOL OnNewDocument() override;
    BOOL OnOpenDocument(LPCSTR lpszPathName) override;
};
