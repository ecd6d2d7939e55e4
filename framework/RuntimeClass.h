// Runtime-class records: a name, the base's record and a factory, so the document template can
// make the program's document, frame and view knowing only their records.
#pragma once

#include "Wnd.h"

struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    CCmdTarget* (*m_pfnCreateObject)(); // nullptr for classes that cannot be made on their own

    // A new object of the class, or nullptr when the class is not dynamically creatable.
    CCmdTarget* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }

    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
        for (const CRuntimeClass* klass = this; klass != nullptr; klass = klass->m_pBaseClass) {
            if (klass == pBaseClass)
                return TRUE;
        }
        return FALSE;
    }
};

// Factory for a runtime-class record: `{"CName", &CBase::runtimeClass, &CreateDynamic<CName>}`.
template <class T>
CCmdTarget* CreateDynamic() {
    return new T;
}
