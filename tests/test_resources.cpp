// The program's resources: the wizard's dialog template control by control,
// the bitmap, the icon, the string and the manifest.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "framework/Afx.h"
#include "ui/resource.h"

namespace {

struct Control {
    int id;
    std::string cls;   // window class
    std::string text;  // "#131" for a resource ordinal
    DWORD style;       // without WS_CHILD | WS_VISIBLE, which every control has
    DWORD exStyle;
    short x, y, cx, cy;
};

struct Template {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string caption, font;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::vector<Control> controls;
};

std::string Ansi(const WCHAR* p, size_t n)
{
    char buffer[512] = "";
    WideCharToMultiByte(CP_ACP, 0, p, static_cast<int>(n), buffer, sizeof buffer - 1, nullptr, nullptr);
    return buffer;
}

// Reads a sz_Or_Ord field; advances p past it.
std::string ReadSzOrOrd(const WORD*& p)
{
    if (*p == 0xFFFF) {
        const WORD ordinal = p[1];
        p += 2;
        return "#" + std::to_string(ordinal);
    }
    const WCHAR* s = reinterpret_cast<const WCHAR*>(p);
    const size_t n = wcslen(s);
    p += n + 1;
    return Ansi(s, n);
}

// A control's window class in capitals, the predefined classes by name
// whether the template holds their atom or their name.
std::string ClassName(std::string cls)
{
    if (cls == "#128") return "BUTTON";
    if (cls == "Static") return "STATIC";
    if (cls == "#131") return "LISTBOX";
    CharUpperA(&cls[0]);
    return cls;
}

const WORD* AlignDword(const WORD* p)
{
    return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
}

Template ReadTemplate(int nID)
{
    HRSRC hRes = FindResourceA(nullptr, MAKEINTRESOURCEA(nID), MAKEINTRESOURCEA(5));  // RT_DIALOG
    EXPECT_NE(nullptr, hRes);
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(nullptr, hRes)));
    Template t;
    EXPECT_EQ(1, p[0]);       // dlgVer: an extended template
    EXPECT_EQ(0xFFFF, p[1]);  // signature
    t.exStyle = *reinterpret_cast<const DWORD*>(p + 4);
    t.style = *reinterpret_cast<const DWORD*>(p + 6);
    const WORD nItems = p[8];
    t.x = static_cast<short>(p[9]); t.y = static_cast<short>(p[10]);
    t.cx = static_cast<short>(p[11]); t.cy = static_cast<short>(p[12]);
    p += 13;
    ReadSzOrOrd(p);  // menu
    ReadSzOrOrd(p);  // class
    t.caption = ReadSzOrOrd(p);
    t.pointSize = p[0];
    t.weight = p[1];
    t.italic = LOBYTE(p[2]);
    t.charset = HIBYTE(p[2]);
    p += 3;
    t.font = ReadSzOrOrd(p);
    for (WORD i = 0; i < nItems; ++i) {
        p = AlignDword(p);
        Control c;
        c.exStyle = *reinterpret_cast<const DWORD*>(p + 2);
        c.style = *reinterpret_cast<const DWORD*>(p + 4) & ~(WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(WS_CHILD | WS_VISIBLE, *reinterpret_cast<const DWORD*>(p + 4) & (WS_CHILD | WS_VISIBLE));
        c.x = static_cast<short>(p[6]); c.y = static_cast<short>(p[7]);
        c.cx = static_cast<short>(p[8]); c.cy = static_cast<short>(p[9]);
        c.id = static_cast<int>(*reinterpret_cast<const DWORD*>(p + 10));
        p += 12;
        c.cls = ClassName(ReadSzOrOrd(p));
        c.text = ReadSzOrOrd(p);
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        t.controls.push_back(c);
    }
    return t;
}

void ExpectControl(const Control& expected, const Control& actual)
{
    SCOPED_TRACE("control " + std::to_string(expected.id) + " " + expected.text);
    EXPECT_EQ(expected.id, actual.id);
    EXPECT_EQ(ClassName(expected.cls), actual.cls);
    EXPECT_EQ(expected.text, actual.text);
    EXPECT_EQ(expected.style, actual.style);
    EXPECT_EQ(expected.exStyle, actual.exStyle);
    EXPECT_EQ(expected.x, actual.x);
    EXPECT_EQ(expected.y, actual.y);
    EXPECT_EQ(expected.cx, actual.cx);
    EXPECT_EQ(expected.cy, actual.cy);
}

}  // namespace

TEST(Resources, WizardDialogTemplate)
{
    const Template t = ReadTemplate(IDD_UPDATE_DIALOG);
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT), t.style);
    EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), t.exStyle);
    EXPECT_EQ(0, t.x);
    EXPECT_EQ(0, t.y);
    EXPECT_EQ(298, t.cx);
    EXPECT_EQ(185, t.cy);
    EXPECT_EQ("Zentrel 1.0", t.caption);
    EXPECT_EQ("宋体", t.font);
    EXPECT_EQ(9, t.pointSize);
    EXPECT_EQ(0, t.weight);
    EXPECT_EQ(0, t.italic);
    EXPECT_EQ(1, t.charset);

    // Tab order is the order of the rows.
    const std::vector<Control> expected = {
        {IDOK, "Button", "下一步(&N)", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 182, 166, 50, 14},
        {IDCANCEL, "Button", "取消(&C)", BS_PUSHBUTTON | WS_TABSTOP, 0, 239, 166, 50, 14},
        {IDC_PICTURE, "Static", "#131", SS_BITMAP, 0, 0, 0, 112, 185},
        {IDC_STATUS, "Static", "点击下一步查看可用的更新", SS_LEFTNOWORDWRAP | WS_GROUP, 0, 119, 145, 170, 8},
        {IDC_PROGRESS, "msctls_progress32", "", WS_BORDER, WS_EX_RIGHT, 119, 127, 170, 12},
        {IDC_STATIC, "Static", "", SS_ETCHEDHORZ, 0, 119, 157, 170, 1},
        {IDC_STATIC, "Static", "以下文件已安装在您的系统上：", SS_LEFT | WS_GROUP, 0, 119, 28, 113, 8},
        {IDC_FILE_LIST, "ListBox", "", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_STATICEDGE,
         119, 43, 170, 75},
        {IDC_STATIC, "Static", "Zentrel 2.0", SS_LEFT | WS_GROUP, 0, 119, 4, 65, 8},
    };
    ASSERT_EQ(expected.size(), t.controls.size());
    for (size_t i = 0; i < expected.size(); ++i)
        ExpectControl(expected[i], t.controls[i]);
}

TEST(Resources, BitmapIconStringAndManifest)
{
    HBITMAP hBitmap = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_WIZARD), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(nullptr, hBitmap);
    BITMAP bm;
    GetObjectA(hBitmap, sizeof bm, &bm);
    EXPECT_EQ(163, bm.bmWidth);
    EXPECT_EQ(278, bm.bmHeight);
    EXPECT_EQ(24, bm.bmBitsPixel);
    DeleteObject(hBitmap);

    // The icon group holds a 32x32 and a 16x16 image of 256 colours.
    HRSRC hGroup = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_MAINFRAME), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(nullptr, hGroup);
    const BYTE* pGroup = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, hGroup)));
    const WORD nImages = *reinterpret_cast<const WORD*>(pGroup + 4);
    std::vector<std::pair<int, int>> images;  // size, bits per pixel
    for (WORD i = 0; i < nImages; ++i) {
        const BYTE* pEntry = pGroup + 6 + 14 * i;
        images.push_back({pEntry[0], *reinterpret_cast<const WORD*>(pEntry + 6)});
    }
    EXPECT_EQ((std::vector<std::pair<int, int>>{{32, 8}, {16, 8}}), images);

    char szText[128] = "";
    LoadStringA(GetModuleHandleA(nullptr), IDS_SOCKETS_INIT_FAILED, szText, sizeof szText);
    EXPECT_STREQ("Windows 通信端口初始化失败。", szText);

    HRSRC hManifest = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(nullptr, hManifest);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, hManifest))),
                               SizeofResource(nullptr, hManifest));
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
    EXPECT_EQ(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));  // classic controls
}
