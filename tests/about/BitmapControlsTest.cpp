// The two bitmap controls on real child windows of a visible test window: what they show on
// screen, how the link control follows the pointer, and what they leave behind.
#include "GdiProbe.h"

#include "about/MyBmpUrl.h"
#include "about/MyTBmp.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
constexpr UINT kMissingBitmap = 4242;

COLORREF Face() {
    return ::GetSysColor(COLOR_BTNFACE);
}

// A visible top-level window holding one window of the control's class, bound to the object
// by subclassing as the dialog's data exchange does. The cursor is parked far away.
template <typename Control>
class Hosted {
public:
    Hosted(int cx, int cy) {
        ::SetCursorPos(1270, 1010);
        m_hHost = ::CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 40, 40, cx + 40, cy + 40, nullptr,
                                    nullptr, ::GetModuleHandleA(nullptr), nullptr);
        m_control = std::make_unique<Control>();
        HWND hChild = ::CreateWindowExA(0, Control::kClassName, "Custom1", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 20,
                                        20, cx, cy, m_hHost, reinterpret_cast<HMENU>(1002),
                                        ::GetModuleHandleA(nullptr), nullptr);
        m_control->SubclassWindow(hChild);
        ::UpdateWindow(m_hHost);
    }
    ~Hosted() {
        if (m_hHost != nullptr)
            ::DestroyWindow(m_hHost);
    }
    Hosted(const Hosted&) = delete;
    Hosted& operator=(const Hosted&) = delete;

    Control& control() { return *m_control; }
    HWND hwnd() const { return m_control->GetSafeHwnd(); }
    // Destroys the windows and then the object, as the dialog does.
    void Destroy() {
        ::DestroyWindow(std::exchange(m_hHost, nullptr));
        m_control.reset();
    }
    // Paints now and reads back what is on screen.
    Pixels Shown() {
        ::UpdateWindow(hwnd());
        return ReadClientPixels(hwnd());
    }
    POINT ScreenCentre() const {
        RECT rect;
        ::GetWindowRect(hwnd(), &rect);
        return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }

private:
    HWND m_hHost = nullptr;
    std::unique_ptr<Control> m_control;
};

bool AllPixelsAre(const Pixels& pixels, COLORREF colour) {
    for (COLORREF pixel : pixels.data)
        if (pixel != colour)
            return false;
    return !pixels.data.empty();
}

int CountOf(const Pixels& pixels, COLORREF colour) {
    int count = 0;
    for (COLORREF pixel : pixels.data)
        count += pixel == colour;
    return count;
}

// The pictures the link control should show for a cx x cy client area.
Pixels FullPicture(UINT nID, int cx, int cy) {
    return ExpectedPicture(nID, cx, cy, 0, 0, cx, cy, Face(), Face());
}
Pixels InsetPicture(UINT nID, int cx, int cy) {
    return ExpectedPicture(nID, cx, cy, 2, 2, cx - 4, cy - 4, Face(), Face());
}

// Records the shell-open requests instead of starting a browser.
struct ShellOpenRequest {
    HWND hOwner;
    std::string verb;
    std::string file;
    bool noParameters;
    bool noDirectory;
    int show;
};
std::vector<ShellOpenRequest> g_shellOpens;

HINSTANCE WINAPI RecordShellOpen(HWND hOwner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                 INT show) {
    g_shellOpens.push_back({hOwner, verb ? verb : "(null)", file ? file : "(null)", parameters == nullptr,
                            directory == nullptr, show});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

class ShellOpenRecorder {
public:
    ShellOpenRecorder() : m_previous(CMyBmpUrl::SetShellOpen(&RecordShellOpen)) { g_shellOpens.clear(); }
    ~ShellOpenRecorder() { CMyBmpUrl::SetShellOpen(m_previous); }

private:
    CMyBmpUrl::ShellOpenFn m_previous;
};

void ExpectOneOpenOfTheAddress(HWND hOwner) {
    ASSERT_EQ(1u, g_shellOpens.size()) << "shell-open requests";
    const ShellOpenRequest& request = g_shellOpens.front();
    EXPECT_EQ(hOwner, request.hOwner);
    EXPECT_EQ("open", request.verb);
    EXPECT_EQ(std::string(kMakerWebAddress), request.file);
    EXPECT_TRUE(request.noParameters);
    EXPECT_TRUE(request.noDirectory);
    EXPECT_EQ(SW_SHOW, request.show);
}

void SendMouseMove(HWND hWnd) {
    ::SendMessageA(hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
}

} // namespace

// ---- Window classes ----

TEST(ControlClasses, RegisteredOnceWithButtonFaceAndArrow) {
    for (const char* name : {CMyTBmp::kClassName, CMyBmpUrl::kClassName}) {
        CMyTBmp picture; // both constructors register; a second construction finds them
        CMyBmpUrl link;
        CMyTBmp picture2;
        CMyBmpUrl link2;
        WNDCLASSA wc = {};
        ASSERT_TRUE(::GetClassInfoA(::GetModuleHandleA(nullptr), name, &wc)) << name;
        EXPECT_EQ(static_cast<UINT>(CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW), wc.style) << name;
        EXPECT_EQ(0, wc.cbClsExtra) << name;
        EXPECT_EQ(0, wc.cbWndExtra) << name;
        EXPECT_EQ(nullptr, wc.hIcon) << name;
        EXPECT_EQ(::LoadCursor(nullptr, IDC_ARROW), wc.hCursor) << name;
        EXPECT_EQ(reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)), wc.hbrBackground) << name;
        EXPECT_EQ(nullptr, wc.lpszMenuName) << name;
    }
}

// Before the dialog binds them the controls have no window, so no size to build pictures for.
TEST(ControlClasses, SetBitmapWithoutAWindowDoesNothing) {
    const int before = CountGdiObjects();
    CMyTBmp picture;
    CMyBmpUrl link;
    EXPECT_FALSE(picture.SetBitmap(IDB_PICTURE));
    EXPECT_FALSE(link.SetBitmap(IDB_LINK));
    EXPECT_EQ(nullptr, picture.GetImageDC());
    EXPECT_EQ(before, CountGdiObjects());
}

// ---- Transparent bitmap control ----

TEST(TransparentBitmap, PlainButtonFaceUntilABitmapIsSet) {
    Hosted<CMyTBmp> host(165, 49);
    EXPECT_TRUE(AllPixelsAre(host.Shown(), Face()));
    EXPECT_EQ(nullptr, host.control().GetImageDC());
}

TEST(TransparentBitmap, ShowsTheStretchedBitmapWithWhiteAsButtonFace) {
    const int cx = 165, cy = 49; // not the bitmap's 172 x 69: the picture is stretched
    Hosted<CMyTBmp> host(cx, cy);
    EXPECT_TRUE(host.control().SetBitmap(IDB_PICTURE));
    EXPECT_EQ(IDB_PICTURE, host.control().GetBitmapID());

    const Pixels expected = FullPicture(IDB_PICTURE, cx, cy);
    ASSERT_GT(CountOf(expected, Face()), cx * cy / 4) << "the picture has transparent areas";
    ASSERT_GT(cx * cy - CountOf(expected, Face()), cx * cy / 10) << "and opaque ones";
    EXPECT_EQ(0, CountOf(expected, kWhite));

    EXPECT_EQ("", DescribeDifferences(expected, ReadPixels(host.control().GetImageDC(), cx, cy))) << "image DC";
    EXPECT_EQ("", DescribeDifferences(expected, host.Shown())) << "on screen";
}

TEST(TransparentBitmap, NearWhiteStaysOpaque) {
    Hosted<CMyTBmp> host(172, 69); // one to one: the candle's 0xFEFEFE wax survives unchanged
    host.control().SetBitmap(IDB_PICTURE);
    const Pixels shown = host.Shown();
    EXPECT_EQ(RGB(254, 254, 254), shown.at(86, 20)) << "inside the candle";
    EXPECT_EQ(Face(), shown.at(2, 2)) << "white corner";
}

TEST(TransparentBitmap, SecondBitmapReplacesTheFirstWithoutLeaking) {
    const int cx = 150, cy = 40;
    Hosted<CMyTBmp> host(cx, cy);
    host.control().SetBitmap(IDB_PICTURE);
    const int afterFirst = CountGdiObjects();
    EXPECT_TRUE(host.control().SetBitmap(IDB_LINK));
    EXPECT_EQ(afterFirst, CountGdiObjects()) << "GDI objects after the first and the second bitmap";
    EXPECT_EQ("", DescribeDifferences(FullPicture(IDB_LINK, cx, cy), host.Shown()));
}

TEST(TransparentBitmap, MissingBitmapShowsButtonFaceAndSaysSo) {
    Hosted<CMyTBmp> host(100, 30);
    host.control().SetBitmap(IDB_PICTURE);
    EXPECT_FALSE(host.control().SetBitmap(kMissingBitmap));
    host.control().Invalidate(TRUE); // a full repaint, as when the dialog is uncovered
    EXPECT_TRUE(AllPixelsAre(host.Shown(), Face()));
}

TEST(TransparentBitmap, DestroyedControlLeavesNoGdiObjects) {
    const int before = CountGdiObjects();
    {
        Hosted<CMyTBmp> host(120, 40);
        host.control().SetBitmap(IDB_PICTURE);
        host.control().SetBitmap(IDB_PICTURE);
        host.Shown();
        EXPECT_GT(CountGdiObjects(), before) << "the control holds its pictures while it lives";
        host.Destroy();
    }
    EXPECT_EQ(before, CountGdiObjects());
}

// ---- Bitmap link control ----

TEST(LinkBitmap, InsetPictureFirstFullPictureOnMouseMove) {
    const int cx = 288, cy = 44;
    Hosted<CMyBmpUrl> host(cx, cy);
    EXPECT_TRUE(host.control().SetBitmap(IDB_LINK));
    EXPECT_EQ(CMyBmpUrl::MOUSE_OUT, host.control().GetMouseState());

    const Pixels inset = InsetPicture(IDB_LINK, cx, cy);
    const Pixels full = FullPicture(IDB_LINK, cx, cy);
    // The two differ at the edge: the banner's frame reaches it only in the full picture.
    ASSERT_NE(Face(), full.at(0, cy / 2));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Face(), inset.at(i, cy / 2)) << "left margin column " << i;
        EXPECT_EQ(Face(), inset.at(cx - 1 - i, cy / 2)) << "right margin column " << i;
        EXPECT_EQ(Face(), inset.at(cx / 2, i)) << "top margin row " << i;
        EXPECT_EQ(Face(), inset.at(cx / 2, cy - 1 - i)) << "bottom margin row " << i;
    }
    ASSERT_NE(Face(), inset.at(2, cy / 2)) << "the picture starts right inside the margin";
    EXPECT_EQ("", DescribeDifferences(inset, host.Shown())) << "before any movement";

    SendMouseMove(host.hwnd());
    EXPECT_EQ(CMyBmpUrl::MOUSE_OVER, host.control().GetMouseState());
    EXPECT_EQ(::LoadCursor(nullptr, IDC_UPARROW), ::GetCursor());
    EXPECT_EQ("", DescribeDifferences(full, host.Shown())) << "after a movement";
}

TEST(LinkBitmap, MouseMoveArmsHoverAndLeaveTracking) {
    Hosted<CMyBmpUrl> host(150, 30);
    ::SetCursorPos(host.ScreenCentre().x, host.ScreenCentre().y);
    PumpMessagesFor(50);
    SendMouseMove(host.hwnd());

    TRACKMOUSEEVENT query = {};
    query.cbSize = sizeof query;
    query.dwFlags = TME_QUERY;
    ASSERT_TRUE(::TrackMouseEvent(&query));
    EXPECT_EQ(static_cast<DWORD>(TME_HOVER | TME_LEAVE), query.dwFlags & (TME_HOVER | TME_LEAVE));
    EXPECT_EQ(host.hwnd(), query.hwndTrack);
    EXPECT_EQ(1000u, query.dwHoverTime);
}

// The system's own hover and leave, through a message loop that pre-translates.
TEST(LinkBitmap, RestingPointerShrinksThePictureAndLeavingKeepsItSmall) {
    const int cx = 200, cy = 34;
    Hosted<CMyBmpUrl> host(cx, cy);
    host.control().SetBitmap(IDB_LINK);
    const POINT centre = host.ScreenCentre();
    ::SetCursorPos(centre.x, centre.y);
    SendMouseMove(host.hwnd());

    PumpMessagesFor(500);
    EXPECT_EQ(CMyBmpUrl::MOUSE_OVER, host.control().GetMouseState()) << "half a second of rest";
    PumpMessagesFor(1200);
    EXPECT_EQ(CMyBmpUrl::MOUSE_HOVER, host.control().GetMouseState()) << "1.7 seconds of rest";
    EXPECT_EQ("", DescribeDifferences(InsetPicture(IDB_LINK, cx, cy), host.Shown())) << "resting";

    ::SetCursorPos(1270, 1010);
    PumpMessagesFor(700);
    EXPECT_EQ(CMyBmpUrl::MOUSE_OUT, host.control().GetMouseState()) << "pointer gone";
    EXPECT_EQ("", DescribeDifferences(InsetPicture(IDB_LINK, cx, cy), host.Shown())) << "pointer gone";
}

TEST(LinkBitmap, ClickOpensTheAddressAndChangesNothing) {
    ShellOpenRecorder recorder;
    const int cx = 180, cy = 30;
    Hosted<CMyBmpUrl> host(cx, cy);
    host.control().SetBitmap(IDB_LINK);
    ::SetCursorPos(host.ScreenCentre().x, host.ScreenCentre().y);

    struct Before {
        const char* name;
        UINT setUp; // 0: none
    };
    for (const Before& before : {Before{"away", 0u}, Before{"moving", WM_MOUSEMOVE}, Before{"resting", WM_MOUSEHOVER}}) {
        if (before.setUp == WM_MOUSEMOVE) {
            SendMouseMove(host.hwnd());
        } else if (before.setUp == WM_MOUSEHOVER) {
            MSG hover = {host.hwnd(), WM_MOUSEHOVER, 0, 0, 0, {0, 0}};
            host.control().PreTranslateMessage(&hover);
        }
        const int state = host.control().GetMouseState();
        const Pixels picture = host.Shown();
        g_shellOpens.clear();

        ::SendMessageA(host.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        ::SendMessageA(host.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));

        EXPECT_EQ(state, host.control().GetMouseState()) << before.name;
        EXPECT_EQ("", DescribeDifferences(picture, host.Shown())) << before.name;
        EXPECT_EQ(nullptr, ::GetCapture()) << before.name;
        ExpectOneOpenOfTheAddress(host.hwnd());
    }
}

TEST(LinkBitmap, WithoutABitmapItIsButtonFaceAndStillOpensTheAddress) {
    ShellOpenRecorder recorder;
    Hosted<CMyBmpUrl> host(150, 30);
    EXPECT_TRUE(AllPixelsAre(host.Shown(), Face())) << "before SetBitmap";
    EXPECT_FALSE(host.control().SetBitmap(kMissingBitmap));
    SendMouseMove(host.hwnd());
    host.control().Invalidate(TRUE);
    EXPECT_TRUE(AllPixelsAre(host.Shown(), Face())) << "missing bitmap, full picture state";
    ::SendMessageA(host.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ExpectOneOpenOfTheAddress(host.hwnd());
}

TEST(LinkBitmap, SecondBitmapRebuildsBothPicturesWithoutLeaking) {
    const int cx = 160, cy = 40;
    Hosted<CMyBmpUrl> host(cx, cy);
    host.control().SetBitmap(IDB_PICTURE);
    host.Shown();
    const int afterFirst = CountGdiObjects();
    EXPECT_TRUE(host.control().SetBitmap(IDB_LINK));
    host.Shown();
    EXPECT_EQ(afterFirst, CountGdiObjects()) << "GDI objects after the first and the second bitmap";
    EXPECT_EQ("", DescribeDifferences(InsetPicture(IDB_LINK, cx, cy), host.Shown())) << "inset";
    ::SetCursorPos(host.ScreenCentre().x, host.ScreenCentre().y);
    SendMouseMove(host.hwnd());
    EXPECT_EQ("", DescribeDifferences(FullPicture(IDB_LINK, cx, cy), host.Shown())) << "full";
}

TEST(LinkBitmap, DestroyedControlLeavesNoGdiObjects) {
    const int before = CountGdiObjects();
    {
        Hosted<CMyBmpUrl> host(150, 30);
        host.control().SetBitmap(IDB_LINK);
        SendMouseMove(host.hwnd());
        host.Shown();
        EXPECT_GT(CountGdiObjects(), before) << "the control holds its pictures while it lives";
        host.Destroy();
    }
    EXPECT_EQ(before, CountGdiObjects());
}
