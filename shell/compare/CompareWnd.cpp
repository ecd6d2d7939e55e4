#include "shell/compare/CompareWnd.h"

#include "framework/App.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/words/Wording.h"

namespace {

const wchar_t* const kDialogClasses[] = {L"TallowboxCompareTexts", L"TallowboxCompareFolders"};

UINT EncodingText(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return IDS_ENCODING_UTF8;
    case TextEncoding::Utf8WithBom:
        return IDS_ENCODING_UTF8_BOM;
    case TextEncoding::Utf16Le:
        return IDS_ENCODING_UTF16_LE;
    case TextEncoding::Utf16Be:
        return IDS_ENCODING_UTF16_BE;
    case TextEncoding::CodePage932:
        return IDS_ENCODING_CP932;
    }
    return IDS_ENCODING_UTF8;
}

UINT LineEndsText(LineEnds ends) {
    switch (ends) {
    case LineEnds::None:
        return IDS_LINE_ENDS_NONE;
    case LineEnds::Crlf:
        return IDS_LINE_ENDS_CRLF;
    case LineEnds::Lf:
        return IDS_LINE_ENDS_LF;
    case LineEnds::Cr:
        return IDS_LINE_ENDS_CR;
    case LineEnds::Mixed:
        return IDS_LINE_ENDS_MIXED;
    }
    return IDS_LINE_ENDS_NONE;
}

// What two texts' lines say, and the ways they differ that are not lines: the encodings, the line
// ends (a one-line text has none to differ in), a diff that fell back.
std::wstring TextsSummary(const FileComparison& compare) {
    const CLineDiff& lines = compare.lines;
    if (lines.Stopped())
        return LoadResourceText(IDS_COMPARE_STOPPED);
    std::wstring text =
        lines.PlaceCount() == 0
            ? LoadResourceText(IDS_COMPARE_SAME)
            : FormatResourceText(IDS_COMPARE_DIFFERENT,
                                 {std::to_wstring(lines.PlaceCount()), std::to_wstring(lines.RemovedLines()),
                                  std::to_wstring(lines.AddedLines())});
    const TextEncoding older = compare.olderText.encoding, newer = compare.newerText.encoding;
    if (older != newer)
        text += FormatResourceText(IDS_COMPARE_ENCODINGS, {LoadResourceText(EncodingText(older)),
                                                           LoadResourceText(EncodingText(newer))});
    const LineEnds olderEnds = compare.olderText.lineEnds, newerEnds = compare.newerText.lineEnds;
    if (olderEnds != newerEnds && olderEnds != LineEnds::None && newerEnds != LineEnds::None)
        text += FormatResourceText(IDS_COMPARE_LINE_ENDS, {LoadResourceText(LineEndsText(olderEnds)),
                                                           LoadResourceText(LineEndsText(newerEnds))});
    if (!lines.Minimal())
        text += LoadResourceText(IDS_COMPARE_FALLBACK);
    return text;
}

std::wstring BytesSummary(const FileComparison& compare, const CompareRequest& request) {
    const ByteComparison& bytes = compare.bytes;
    std::wstring text;
    switch (bytes.outcome) {
    case ByteCompareOutcome::Equal:
        text = LoadResourceText(IDS_COMPARE_SAME);
        break;
    case ByteCompareOutcome::Different:
        text = FormatResourceText(IDS_COMPARE_BINARY,
                                  {std::to_wstring(bytes.firstDifference), SizeText(bytes.left.size),
                                   FactsTimeText(bytes.left.modified), SizeText(bytes.right.size),
                                   FactsTimeText(bytes.right.modified)});
        break;
    case ByteCompareOutcome::LeftUnreadable:
        return FormatResourceText(IDS_COMPARE_UNREADABLE, {request.older.path, SystemMessage(bytes.error)});
    case ByteCompareOutcome::RightUnreadable:
        return FormatResourceText(IDS_COMPARE_UNREADABLE, {request.newer.path, SystemMessage(bytes.error)});
    case ByteCompareOutcome::Stopped:
        return LoadResourceText(IDS_COMPARE_STOPPED);
    }
    if (compare.tooLargeForText)
        text += LoadResourceText(IDS_COMPARE_TOO_LARGE);
    if (compare.documentOutcome != OfficeOutcome::Ok)
        text += FormatResourceText(IDS_COMPARE_NOT_DOCUMENT,
                                   {(compare.documentOnNewerSide ? request.newer : request.older).path,
                                    DocumentOutcomeText(compare.documentOutcome)});
    return text;
}

std::wstring MissingText(const CompareSide& side) {
    return FormatResourceText(side.current ? IDS_COMPARE_ORIGINAL_MISSING : IDS_COMPARE_COPY_MISSING,
                              {side.path});
}

// The first place whose older lines reach past line: the one holding it, if one does; else the first.
size_t PlaceHolding(const CLineDiff& lines, uint32_t line) {
    const std::vector<DiffPlace>& places = lines.Places();
    for (size_t place = 0; place < places.size(); ++place)
        if (static_cast<uint64_t>(places[place].leftFirst) + places[place].leftCount > line)
            return place;
    return 0;
}

LRESULT CALLBACK DialogClassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefDlgProcW(hWnd, message, wParam, lParam);
}

} // namespace

bool RegisterCompareClasses() {
    const HINSTANCE instance = AfxGetResourceHandle();
    if (!CDiffPanes::RegisterClass(instance))
        return false;
    for (const wchar_t* name : kDialogClasses) {
        WNDCLASSEXW windowClass = {};
        if (::GetClassInfoExW(instance, name, &windowClass))
            continue;
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = &DialogClassProc;
        windowClass.cbWndExtra = DLGWINDOWEXTRA;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1);
        windowClass.lpszClassName = name;
        if (!::RegisterClassExW(&windowClass))
            return false;
    }
    return true;
}

std::wstring FactsTimeText(const FILETIME& written) {
    FILETIME local;
    SYSTEMTIME time;
    if (!::FileTimeToLocalFileTime(&written, &local) || !::FileTimeToSystemTime(&local, &time))
        return std::wstring();
    return HistoryDateText(time) + L" " + HistoryTimeText(time);
}

CCompareWnd* CCompareWnd::Open(HWND owner, const CompareRequest& request) {
    if (!RegisterCompareClasses())
        return nullptr;
    auto* window = new CCompareWnd(request);
    return ShowOwnedBeside(window, owner, IDR_MAINFRAME, 60) ? window : nullptr;
}

CCompareWnd::CCompareWnd(const CompareRequest& request)
    : CToolWnd(IDD_COMPARE_TEXTS, {420, 220}, Lifetime::OwnsItself), m_request(request) {}

// The compare starts first, so the files are read while the window finishes showing itself.
BOOL CCompareWnd::OnInitDialog() {
    StartCompare();
    ::SetWindowTextW(m_hWnd, FormatResourceText(IDS_COMPARE_TITLE, {m_request.itemName}).c_str());
    ::SetDlgItemTextW(m_hWnd, IDC_COMPARE_OLDER_HEADER, m_request.older.header.c_str());
    ::SetDlgItemTextW(m_hWnd, IDC_COMPARE_NEWER_HEADER, m_request.newer.header.c_str());
    m_panes.Attach(GetDlgItem(IDC_COMPARE_PANES));
    ::EnableWindow(GetDlgItem(IDC_COMPARE_NEXT), FALSE);
    ::EnableWindow(GetDlgItem(IDC_COMPARE_PREVIOUS), FALSE);
    Layout();
    return TRUE;
}

void CCompareWnd::StartCompare() {
    ::SetDlgItemTextW(m_hWnd, IDC_COMPARE_SUMMARY, LoadResourceText(IDS_COMPARE_READING).c_str());
    const std::wstring older = m_request.older.path, newer = m_request.newer.path;
    m_job.reset(new CWindowJob<FileComparison>(m_hWnd, WM_COMPARE_FILES_DONE,
                                               [older, newer](const BOOL* stop, FileComparison* result) {
                                                   CompareFiles(older, newer, stop, result);
                                               }));
}

void CCompareWnd::OnCompareDone(LPARAM lParam) {
    std::shared_ptr<FileComparison> result(reinterpret_cast<FileComparison*>(lParam));
    m_job.reset();
    m_done = true;
    m_comparison = result;
    if (result && result->outcome == FileCompareOutcome::Texts && !result->lines.Stopped())
        m_panes.SetComparison(result);
    const bool places =
        result && result->outcome == FileCompareOutcome::Texts && result->lines.PlaceCount() > 0;
    ::EnableWindow(GetDlgItem(IDC_COMPARE_NEXT), places);
    ::EnableWindow(GetDlgItem(IDC_COMPARE_PREVIOUS), places);
    ::SetDlgItemTextW(m_hWnd, IDC_COMPARE_SUMMARY, SummaryText().c_str());
    if (result && result->outcome == FileCompareOutcome::Texts && result->document != OfficeKind::None) {
        const std::pair<int, const CompareSide*> sides[] = {{IDC_COMPARE_OLDER_HEADER, &m_request.older},
                                                            {IDC_COMPARE_NEWER_HEADER, &m_request.newer}};
        for (const auto& [id, side] : sides)
            ::SetDlgItemTextW(m_hWnd, id,
                              FormatResourceText(IDS_COMPARE_DOCUMENT_HEADER, {side->header}).c_str());
    }
    if (places) // the change holding the line asked for shows at once, else the first
        m_panes.ShowPlace(PlaceHolding(result->lines, m_request.olderLine));
}

std::wstring CCompareWnd::SummaryText() const {
    if (!m_comparison)
        return FormatResourceText(IDS_COMPARE_UNREADABLE,
                                  {m_request.older.path, SystemMessage(ERROR_NOT_ENOUGH_MEMORY)});
    const FileComparison& compare = *m_comparison;
    switch (compare.outcome) {
    case FileCompareOutcome::Texts:
        return TextsSummary(compare);
    case FileCompareOutcome::Bytes:
        return BytesSummary(compare, m_request);
    case FileCompareOutcome::Stopped:
        return LoadResourceText(IDS_COMPARE_STOPPED);
    case FileCompareOutcome::OlderMissing:
        return MissingText(m_request.older);
    case FileCompareOutcome::NewerMissing:
        return MissingText(m_request.newer);
    case FileCompareOutcome::OlderUnreadable:
        return FormatResourceText(IDS_COMPARE_UNREADABLE,
                                  {m_request.older.path, SystemMessage(compare.error)});
    case FileCompareOutcome::NewerUnreadable:
        return FormatResourceText(IDS_COMPARE_UNREADABLE,
                                  {m_request.newer.path, SystemMessage(compare.error)});
    }
    return std::wstring();
}

bool CCompareWnd::GoToPlace(bool next) {
    const bool moved = m_panes.GoToPlace(next);
    if (!moved)
        ::MessageBeep(MB_OK);
    return moved;
}

// The headers and the buttons keep their heights; the panes take the rest. Margins are dialog
// units, so they grow with the font at every scale.
void CCompareWnd::Layout() {
    HWND panes = GetDlgItem(IDC_COMPARE_PANES);
    if (panes == nullptr)
        return;
    const RECT margins = DialogUnits({7, 5, 4, 14}); // edge, gap, between the buttons, a button's height
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const RECT header = ControlRect(IDC_COMPARE_OLDER_HEADER), previous = ControlRect(IDC_COMPARE_PREVIOUS),
               next = ControlRect(IDC_COMPARE_NEXT), summary = ControlRect(IDC_COMPARE_SUMMARY);
    const int width = client.right - 2 * margins.left, half = width / 2;
    const int headerHeight = header.bottom - header.top;
    PlaceControl(GetDlgItem(IDC_COMPARE_OLDER_HEADER), margins.left, header.top, half - margins.right,
                 headerHeight);
    PlaceControl(GetDlgItem(IDC_COMPARE_NEWER_HEADER), margins.left + width - half, header.top, half,
                 headerHeight);
    const int buttonTop = client.bottom - margins.top - margins.bottom;
    const int previousWidth = previous.right - previous.left, nextWidth = next.right - next.left;
    PlaceControl(GetDlgItem(IDC_COMPARE_PREVIOUS), margins.left, buttonTop, previousWidth, margins.bottom);
    PlaceControl(GetDlgItem(IDC_COMPARE_NEXT), margins.left + previousWidth + margins.right, buttonTop,
                 nextWidth, margins.bottom);
    const int summaryLeft = margins.left + previousWidth + nextWidth + 3 * margins.right;
    const int summaryHeight = summary.bottom - summary.top;
    PlaceControl(GetDlgItem(IDC_COMPARE_SUMMARY), summaryLeft,
                 buttonTop + (margins.bottom - summaryHeight) / 2, client.right - margins.left - summaryLeft,
                 summaryHeight);
    const int panesTop = header.bottom + margins.right;
    PlaceControl(panes, margins.left, panesTop, width, buttonTop - margins.top - panesTop);
}

LRESULT CCompareWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED &&
            (LOWORD(wParam) == IDC_COMPARE_NEXT || LOWORD(wParam) == IDC_COMPARE_PREVIOUS)) {
            GoToPlace(LOWORD(wParam) == IDC_COMPARE_NEXT);
            return 0;
        }
        break;
    case WM_COMPARE_FILES_DONE:
        OnCompareDone(lParam);
        return 0;
    default:
        break;
    }
    return CToolWnd::WindowProc(message, wParam, lParam);
}

// F8 and Shift+F8 anywhere in the window.
BOOL CCompareWnd::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F8 &&
        (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd))) {
        GoToPlace(::GetKeyState(VK_SHIFT) >= 0);
        return TRUE;
    }
    return CToolWnd::PreTranslateMessage(pMsg);
}
