// CAboutDlg: the modal about box on dialog template 100 (icon, version text, OK, the
// transparent picture and the link picture).
#pragma once

#include "about/MyBmpUrl.h"
#include "about/MyTBmp.h"
#include "framework/Dialog.h"
#include "res/resource.h"

class CAboutDlg : public CDialog {
public:
    enum { IDD = IDD_ABOUTBOX };

    // Owned by the application's main window. Registers "MyBmpUrl" then "MyTBmp" (the members'
    // constructors) before any template naming them is made; throws CResourceException if it cannot.
    CAboutDlg();
    ~CAboutDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    // Constructed in this order: the link's class registers first.
    CMyBmpUrl m_wndLink;
    CMyTBmp m_wndPicture;
};
