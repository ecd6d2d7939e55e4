#include "about/AboutDlg.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PICTURE, m_wndPicture);
    DDX_Control(pDX, IDC_LINK, m_wndLink);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // Only now are the controls bound and at their final size.
    m_wndPicture.SetBitmap(IDB_PICTURE);
    m_wndLink.SetBitmap(IDB_LINK);
    return TRUE;
}
